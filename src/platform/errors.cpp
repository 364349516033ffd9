#include "platform/errors.h"

#include <cstdio>

namespace {
ErrorSink& sink() {
    static ErrorSink s;
    return s;
}
}  // namespace

std::string applicationErrorText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
    return message;
}

void setApplicationErrorSink(ErrorSink s) { sink() = std::move(s); }

void showApplicationError(const std::string& message) {
    const std::string text = applicationErrorText(message);
    if (sink())
        sink()(text);
    else
        std::fprintf(stderr, "Wenlow Explorer: %s\n", text.c_str());
}
