#pragma once
// QuillFunc_REG: reading one registry value with a default.

#include "platform/registry.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

/// A registry result: text for type 1, number for type 4.
using RegValue = std::variant<std::string, std::int32_t>;

/// Reads @p valueName of @p subkey under @p root as @p valueType (1 text,
/// 4 number); @p defaultValue when the key or value cannot be read.
RegValue gSetRegValue(platform::RegistryRoot root, std::string_view subkey,
    std::string_view valueName, std::int32_t valueType, const RegValue &defaultValue);
