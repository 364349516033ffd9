#pragma once
// Dialogs that answer at once and keep everything shown, in order.
#include "platform/dialogs.h"
#include "platform/errors.h"

#include <optional>
#include <string>
#include <vector>

struct Shown {
    std::string kind;  // "message", "error", "picture", "help"
    std::string text;
    std::string caption;
    bool operator==(const Shown&) const = default;
};

class RecordingDialogs : public Dialogs {
public:
    RecordingDialogs() {
        setApplicationErrorSink([this](const std::string& text) { errorBox(text); });
    }
    ~RecordingDialogs() override { setApplicationErrorSink(nullptr); }

    void messageBox(const std::string& text, const std::string& caption) override {
        shown.push_back({"message", text, caption});
    }
    void errorBox(const std::string& text) override { shown.push_back({"error", text, "Wenlow Explorer"}); }
    std::optional<std::string> openPicture(const std::string& filter) override {
        shown.push_back({"picture", filter, ""});
        return pictureAnswer;
    }
    void showHelp(const std::string& helpFile, int context) override {
        shown.push_back({"help", helpFile, std::to_string(context)});
    }

    // Shown as a message; answered with `askAnswer` (a note: the child asked).
    std::optional<std::string> refusalBox(const std::string& text, const std::string& caption, bool canAsk) override {
        shown.push_back({"message", text, caption});
        couldAsk.push_back(canAsk);
        return canAsk ? askAnswer : std::nullopt;
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> t;
        for (const auto& s : shown) t.push_back(s.text);
        return t;
    }
    void clear() { shown.clear(); }

    std::vector<Shown> shown;
    std::optional<std::string> pictureAnswer;
    std::optional<std::string> askAnswer;
    std::vector<bool> couldAsk;  // of each refusal box, whether asking was offered
};
