#pragma once
// Whether the tool talks to a person: progress is redrawn in place and questions are asked
// only on a terminal.

namespace kivrel::cli {

[[nodiscard]] bool StdinIsTerminal();
[[nodiscard]] bool StderrIsTerminal();

}  // namespace kivrel::cli
