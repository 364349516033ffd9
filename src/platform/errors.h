#pragma once
// Errors are exceptions carrying their message; every event handler entry point runs
// inside guarded(), which shows an escaping error in the application's error box and
// lets the program go on.
#include <functional>
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    std::string message() const { return what(); }
};

// A data file that cannot be opened, read or written.
class EFileError : public Exception {
public:
    using Exception::Exception;
};

// The text the application's error box shows for a message: a "." is added when the
// last character sorts after ".".
std::string applicationErrorText(const std::string& message);

// Where the application's error box goes; the program installs its dialogs, tests a
// recorder. Without one, errors go to standard error.
using ErrorSink = std::function<void(const std::string& text)>;
void setApplicationErrorSink(ErrorSink sink);
void showApplicationError(const std::string& message);

template <class F>
void guarded(F&& handler) noexcept {
    try {
        handler();
    } catch (const std::exception& e) {
        showApplicationError(e.what());
    } catch (...) {
        showApplicationError("Unknown error");
    }
}
