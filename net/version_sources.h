#pragma once
// Where each brand's version file is published: an ordered, build-time table of eight rules.
// The first rule that holds gives the address.

#include <span>
#include <string_view>

namespace kivrel {

enum class VersionRuleKind {
    kNeutralTool,  // the tool's tag begins with `tag` (21 blanks: the vendor-neutral build)
    kUnitBegins,   // the unit's identity block begins with `tag`
    kToolBegins,   // the tool's tag begins with `tag`
};

struct VersionSource {
    VersionRuleKind kind;
    std::string_view tag;  // GBK bytes, compared over exactly their own length
    std::wstring_view url;
};

// The eight rules, in the order they are tried.
[[nodiscard]] std::span<const VersionSource> VersionSources() noexcept;

}  // namespace kivrel
