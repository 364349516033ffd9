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
};

// The real dialogs on Qt Widgets.
class QtDialogs : public Dialogs {
public:
    void messageBox(const std::string& text, const std::string& caption) override;
    void errorBox(const std::string& text) override;
    std::optional<std::string> openPicture(const std::string& filter) override;
    void showHelp(const std::string& helpFile, int context) override;

private:
    QWidget* help_ = nullptr;
};

// Turns "Bitmaps (*.bmp)|*.bmp" into Qt's "Bitmaps (*.bmp)".
std::string qtFileFilter(const std::string& filter);
