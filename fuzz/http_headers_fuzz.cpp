// Header text from a server: a header line, a Content-Range, a length, the validator echoed
// back in If-Range, and the resume record that stores it. Whatever is accepted must be
// consistent, and nothing accepted may carry a line break into a request.

#include <cstdint>
#include <string>
#include <string_view>

#include "net/http_headers.h"
#include "net/partial_download.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (const auto field = kivrel::ParseHeaderLine(text)) {
        if (field->name.empty() || field->value.find_first_of("\r\n") != std::string::npos) {
            __builtin_trap();
        }
    }
    if (const auto range = kivrel::ParseContentRange(text)) {
        if (range->first > range->last) __builtin_trap();
        if (range->total && range->last >= *range->total) __builtin_trap();
    }
    if (const auto count = kivrel::ParseDecimalCount(text)) {
        if (std::to_string(*count).size() > text.size()) __builtin_trap();
    }

    // Split the input in two for the tag and the date.
    const std::size_t half = size / 2;
    if (const auto validator = kivrel::ResumeValidator(text.substr(0, half), text.substr(half))) {
        const std::string header = kivrel::IfRangeHeader(*validator);
        if (header.find_first_of("\r\n") != header.size() - 2) __builtin_trap();
    }

    if (const auto record = kivrel::ParsePartialRecord(text)) {
        const auto again = kivrel::ParsePartialRecord(kivrel::WritePartialRecord(*record));
        if (!again || !(*again == *record)) __builtin_trap();
    }
    return 0;
}
