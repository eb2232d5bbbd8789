#pragma once

// The look of everything Qt draws by itself (menus, tool tips, dialogs, scroll bars, text
// fields): the Fusion style on a dark palette made from the named colours, and Inter as the
// application font, so those surfaces match the views whatever the desktop's theme is. Tool
// tips are dark to their frame; a click on a slider's track moves its thumb to the click.
// Call once, on the GUI thread, after the QApplication exists.

class QPalette;

namespace tindrel::platform {

class ApplicationLook {
public:
    static void apply();
    static QPalette palette();
};

} // namespace tindrel::platform
