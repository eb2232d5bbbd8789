#pragma once

// One row of the default-handler table: a format family's extension, the label the settings
// popover shows, and its content types (MIME types) in the order they are registered.
// Plain value; any thread.

#include <QString>
#include <QStringList>

namespace tindrel {

struct AudioFormatAssociation {
    QString ext; // lower case, no dot; also the row's identity
    QString label;
    QStringList utis; // MIME types, e.g. "audio/x-wav"

    const QString& id() const { return ext; }
    bool operator==(const AudioFormatAssociation&) const = default;
};

} // namespace tindrel
