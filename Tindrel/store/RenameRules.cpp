#include "Tindrel/store/RenameRules.h"

namespace tindrel {

QString fileNameExtension(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || fileName == QStringLiteral(".."))
        return QString();
    return fileName.mid(dot + 1);
}

QString fileNameBase(const QString& fileName) {
    const QString ext = fileNameExtension(fileName);
    return ext.isEmpty() && !fileName.endsWith(QLatin1Char('.'))
               ? fileName
               : fileName.left(fileName.size() - ext.size() - 1);
}

std::optional<QString> renamedFileName(const QString& draft, const QString& oldFileName) {
    QString name = draft.trimmed();
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    name.replace(QLatin1Char(':'), QLatin1Char('-'));
    // A NUL would end the name early at the system call.
    name.replace(QChar(u'\0'), QLatin1Char('-'));
    if (name.isEmpty())
        return std::nullopt;
    const QString ext = fileNameExtension(oldFileName);
    if (ext.isEmpty() || name.toLower().endsWith(QLatin1Char('.') + ext.toLower()))
        return name;
    return name + QLatin1Char('.') + ext;
}

} // namespace tindrel
