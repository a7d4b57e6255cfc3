#pragma once
// Finding the unit on this computer: one implementation per platform (SetupAPI on Windows,
// hidapi elsewhere).

#include <memory>
#include <string>

#include "device/hid_transport.h"

namespace kivrel {

class CHidCmd;
class EventSink;

// Shown when no unit answers discovery.
inline constexpr const char* kNoUnitText = "   No hardware connected!";

// Opens the first unit (USB 0416:B500) that opens for both reading and writing. Null with
// `error` set when none does. Runs on the calling thread.
[[nodiscard]] std::unique_ptr<HidTransport> OpenFirstUnit(std::string& error);

// Discovery for a link that is not connected: opens the first unit and attaches it with
// `notify` as the receiver of progress. False when the link was already connected or no unit
// opened (the link is then left as it was).
[[nodiscard]] bool OpenUnit(CHidCmd& link, EventSink* notify);

}  // namespace kivrel
