// The seam between the windows and the desktop: message boxes, file dialogs, the busy cursor,
// the program folder, opening links and outside programs, ending the program. Windows call it
// through Platform::instance(), so tests can install a scripted platform that answers dialogs and
// records message boxes without a person. Window thread only.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class Icon { None, Information, Question, Exclamation, Critical };
// NoSoundDevice: "Continue without sound" (Answer::Ok), "Try again" (Retry) and Cancel.
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, NoSoundDevice };
enum class Answer { Ok, Cancel, Yes, No, Retry };

struct MessageBox {
    std::string text;
    std::string title;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
};

// The file dialog's flags, with the program's values.
enum DialogFlags : unsigned {
    kDialogOverwritePrompt = 0x2,   // a save dialog asks before replacing a file
    kDialogHideReadOnly = 0x4,      // no "open read-only" box
    kDialogFileMustExist = 0x1000,  // an open dialog accepts only existing files
    kDialogExplorer = 0x80000,      // the desktop's own dialog
};

// A file dialog as the program describes it. `filter` uses the "Description|*.ext|..." form;
// `flags` are DialogFlags or'ed together.
struct FileDialog {
    std::string title;
    std::string filter;
    unsigned flags = 0;
    std::string initialName;  // file name (may include a folder)
    std::string initialDir;
    // What the last folder chosen is remembered under, beside other dialogs of the same kind of
    // file; empty: the filter's extensions.
    std::string folderKey;
};

class Platform {
  public:
    virtual ~Platform() = default;

    virtual Answer messageBox(const MessageBox& box) = 0;
    // The chosen path (UTF-8), or nothing when the user cancelled.
    virtual std::optional<std::string> openFile(const FileDialog& dialog) = 0;
    virtual std::optional<std::string> saveFile(const FileDialog& dialog) = 0;
    // A folder (UTF-8) chosen in a folder dialog (`title`, starting at `initialDir`), or nothing
    // when the user cancelled. A platform without folder dialogs cancels.
    virtual std::optional<std::string> chooseFolder(const FileDialog& dialog) {
        (void)dialog;
        return std::nullopt;
    }
    // Busy (hourglass) pointer on or off. Calls do not nest: off always restores the normal one.
    virtual void setBusy(bool busy) = 0;
    virtual bool busy() const = 0;
    // Where work files live (a render's, a CD extraction's): the user's cache folder,
    // a folder of this running copy's own in $XDG_CACHE_HOME/quorvin (~/.cache/quorvin), created
    // when missing and removed when the platform goes. Ends without a separator.
    virtual std::string programFolder() = 0;
    // Where a file the user keeps is made without a dialog (a CD track extracted to WMA): the
    // desktop's music folder, else the home folder; created when missing. Ends without a
    // separator.
    virtual std::string musicFolder() = 0;
    // Opens a link (mailto:, file:, http:) with the desktop. False when nothing could open it.
    virtual bool openUrl(const std::string& url) = 0;
    // Starts the desktop's volume mixer. False when none was found.
    virtual bool startMixer() = 0;
    // Ends the program with `code` (after a fatal message).
    virtual void exitProgram(int code) = 0;

    // The installed platform (the Qt one unless a test installed another).
    static Platform& instance();
    // Installs `p` (takes ownership); returns the previous one.
    static std::unique_ptr<Platform> install(std::unique_ptr<Platform> p);
};

// Shorthand for the common message box.
Answer message(const std::string& text, const std::string& title, Icon icon = Icon::None,
               Buttons buttons = Buttons::Ok);

}  // namespace platform
