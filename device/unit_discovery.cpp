#include "device/unit_discovery.h"

#include "device/chid_cmd.h"

namespace kivrel {

bool OpenUnit(CHidCmd& link, EventSink* notify) {
    if (link.Connected()) return false;
    std::string error;
    std::unique_ptr<HidTransport> transport = OpenFirstUnit(error);
    if (!transport) return false;
    link.Attach(std::move(transport), notify);
    return true;
}

}  // namespace kivrel
