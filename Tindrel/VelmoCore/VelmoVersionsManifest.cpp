#include "Tindrel/VelmoCore/VelmoVersionsManifest.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace velmo {

namespace {

// A required value must be present and a string: null, numbers and the rest are refused.
std::optional<QString> requiredString(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

// An optional value may be missing or null; anything but a string is still refused. The outer
// optional says whether the value was acceptable, the inner one whether it was present.
std::optional<std::optional<QString>> optionalString(const QJsonObject& object,
                                                     const QString& key) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::optional<QString>();
    if (!value.isString())
        return std::nullopt;
    return std::optional<QString>(value.toString());
}

std::optional<VelmoProductReleaseInfo> decodeRelease(const QJsonValue& value) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const auto version = requiredString(object, QStringLiteral("version"));
    const auto notes = requiredString(object, QStringLiteral("notes"));
    const auto downloadURL = requiredString(object, QStringLiteral("downloadURL"));
    const auto pageURL = optionalString(object, QStringLiteral("pageURL"));
    if (!version || !notes || !downloadURL || !pageURL)
        return std::nullopt;
    return VelmoProductReleaseInfo{*version, *notes, *downloadURL, *pageURL};
}

} // namespace

std::optional<VelmoVersionsManifest> VelmoVersionsManifest::decode(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject top = document.object();
    const auto updatedAt = optionalString(top, QStringLiteral("updatedAt"));
    const QJsonValue products = top.value(QStringLiteral("products"));
    if (!updatedAt || !products.isObject())
        return std::nullopt;

    VelmoVersionsManifest manifest{*updatedAt, {}};
    const QJsonObject members = products.toObject();
    for (auto member = members.begin(); member != members.end(); ++member) {
        std::optional<VelmoProductReleaseInfo> release = decodeRelease(member.value());
        if (!release)
            return std::nullopt;
        manifest.products.emplace(member.key(), std::move(*release));
    }
    return manifest;
}

QByteArray VelmoVersionsManifest::encode() const {
    QJsonObject members;
    for (const auto& [productId, release] : products) {
        QJsonObject record{{QStringLiteral("version"), release.version},
                           {QStringLiteral("notes"), release.notes},
                           {QStringLiteral("downloadURL"), release.downloadURL}};
        if (release.pageURL)
            record.insert(QStringLiteral("pageURL"), *release.pageURL);
        members.insert(productId, record);
    }
    QJsonObject top{{QStringLiteral("products"), members}};
    if (updatedAt)
        top.insert(QStringLiteral("updatedAt"), *updatedAt);
    return QJsonDocument(top).toJson(QJsonDocument::Compact);
}

} // namespace velmo
