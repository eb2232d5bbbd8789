#pragma once

// The new file name a rename draft gives: the draft trimmed of white space at both ends, each
// "/", ":" and NUL replaced by "-", and the old file's extension kept (added in the old file's
// letter case, unless the draft already ends with it in any case). Pure; any thread.

#include <QString>

#include <optional>

namespace tindrel {

// None when the draft is empty after trimming. `oldFileName` is the last path component.
std::optional<QString> renamedFileName(const QString& draft, const QString& oldFileName);

// The extension of a file name without its dot ("" for none, and for a name such as ".hidden").
QString fileNameExtension(const QString& fileName);
// The file name without its extension.
QString fileNameBase(const QString& fileName);

} // namespace tindrel
