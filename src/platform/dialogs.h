#pragma once
// Every box and dialog the program shows goes through this interface, so tests can
// answer at once and keep what was shown.
#include <optional>
#include <string>

class QWidget;

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Modal box with a caption, the buttons OK and Cancel and no icon; the answer is
    // never used.
    virtual void messageBox(const std::string& text, const std::string& caption) = 0;
    // The application's error box: caption "Wenlow Explorer", stop icon, one OK. The
    // text arrives with the "." rule applied.
    virtual void errorBox(const std::string& text) = 0;
    // The picture file dialog; a filter in the form "Name|pattern". The chosen file's
    // full path, or nothing.
    virtual std::optional<std::string> openPicture(const std::string& filter) = 0;
    // Opens the help file at a context number.
    virtual void showHelp(const std::string& helpFile, int context) = 0;
    // A refusal: the message box above, with a way to ask a parent to allow the page
    // (unless `canAsk` is false: asked already). The child's note (maybe empty) when
    // they asked; nothing when they only closed the box.
    virtual std::optional<std::string> refusalBox(const std::string& text, const std::string& caption, bool canAsk) {
        messageBox(text, caption);
        return std::nullopt;
    }
};

// The real dialogs on Qt Widgets.
class QtDialogs : public Dialogs {
public:
    void messageBox(const std::string& text, const std::string& caption) override;
    void errorBox(const std::string& text) override;
    std::optional<std::string> openPicture(const std::string& filter) override;
    void showHelp(const std::string& helpFile, int context) override;
    std::optional<std::string> refusalBox(const std::string& text, const std::string& caption, bool canAsk) override;

private:
    QWidget* help_ = nullptr;
};

inline constexpr const char* AskButtonText = "Ask a Parent...";
inline constexpr const char* AskedAlreadyText = "A parent has been asked about this page already.";
inline constexpr const char* AskNoteText = "You may tell your parent why you need this page (or leave it empty):";
inline constexpr const char* RequestSentText = "Your request was sent to a parent.";
inline constexpr const char* AskCaption = "Ask a Parent";

// Turns "Bitmaps (*.bmp)|*.bmp" into Qt's "Bitmaps (*.bmp)".
std::string qtFileFilter(const std::string& filter);
