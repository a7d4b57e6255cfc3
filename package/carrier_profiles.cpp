#include "package/carrier_profiles.h"

namespace kivrel {
namespace {

// Fictional carriers. Two pairs share an APN host name (a carrier's plain and machine-to-machine
// plans, and the generic "internet" APN of a regional carrier and of the editable entry), so a
// unit set to such an APN shows the later entry of its pair.
constexpr std::array<CarrierProfile, kCarrierProfileCount> kProfiles = {{
    {L"Kivrel Mobile", L"kvnet", L"kivrel", L"kivrel"},
    {L"Kivrel Mobile M2M", L"kvnet", L"m2m", L"m2m"},
    {L"Huaxia Telecom", L"hxdata", L"card", L"card"},
    {L"Huaxia Telecom 4G", L"hx4g.data", L"card", L"card"},
    {L"Dongfang Unicom", L"dfwap", L"", L""},
    {L"Dongfang Unicom Data", L"dfnet", L"guest", L"guest"},
    {L"Nanhai Networks", L"internet", L"", L""},
    {L"Other carrier", L"internet", L"", L""},
}};

}  // namespace

const std::array<CarrierProfile, kCarrierProfileCount>& CarrierProfiles() noexcept {
    return kProfiles;
}

}  // namespace kivrel
