#pragma once

namespace ombrilo {

// The texts with which the windows and the command-line tool report file failures.
inline constexpr const char* kCannotOpenForReading = "Файл не удается открыть для чтения.";
inline constexpr const char* kCannotOpenForWriting = "Файл не удается открыть для записи.";

}  // namespace ombrilo
