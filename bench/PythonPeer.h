#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace bench {

// Runs a Python peer script of bench/ that sends `count` messages made from `file` to the sink on
// 127.0.0.1:`port` and prints the seconds it took; nullopt when it failed or outran `timeoutMs`.
std::optional<double> timePythonPeer(const QString &script, std::uint16_t port, int count, const QString &file,
                                     int timeoutMs);

} // namespace bench
