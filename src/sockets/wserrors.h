#pragma once
// The error texts of the socket layer: Windows Sockets codes with their descriptions,
// and the layer's own message codes, format strings for a code and its description.
#include "platform/errors.h"

#include <cstdint>
#include <string>

// Every error of the socket layer. Its text is at most 255 characters.
class ESockError : public Exception {
public:
    explicit ESockError(const std::string& message);
};

// Empty for 0; "Unknown Error %d" for a code without a text; cut at 255 characters.
std::string ErrorText(std::int32_t code);

// The text built from a Windows Sockets code and a message code (0: the code's own text).
std::string SockErrorMessage(std::int32_t code, std::int32_t messageCode);
[[noreturn]] void RaiseSockError(std::int32_t code, std::int32_t messageCode);

// Message codes.
enum : std::int32_t {
    msgFindingAddress = 20001,
    msgCallingGetHostByAddr = 20002,
    msgCallingGetHostByName = 20003,
    msgCallingGetServByName = 20004,
    msgCallingGetServByPort = 20005,
    msgFindingHost = 20006,
    msgBinding = 20007,
    msgConnecting = 20008,
    msgCreating = 20009,
    msgGetPeerName = 20010,
    msgGetSockName = 20011,
    msgBytesInBuffer = 20012,
    msgListening = 20013,
    msgReceiving = 20014,
    msgSending = 20015,
    msgStartingUp = 20016,
    msgNoAddress = 20017,
    msgNotOpen = 20018,
    msgNoReverseLookup = 20019,
    msgAlreadyOpened = 20020,
    msgDatagramTooLong = 20021,
    msgDllLoaded = 20022,
    msgStreamType = 20023,
    msgDatagramType = 20024,
    msgPeeking = 20025,
    msgNoSocketClass = 20026,
};
