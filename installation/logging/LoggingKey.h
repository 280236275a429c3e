#pragma once
// The key that comes with the logging library. A host program keeps these
// bytes as constant data and hands them to LoggerManager::setkey first thing.
#include <cstddef>

inline constexpr std::size_t kLoggingKeyLength = 140;

extern const unsigned char kLoggingKey[kLoggingKeyLength];
