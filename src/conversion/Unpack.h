// The record decoders of modConvert: the bytes of one packed record (0-255, in file order) split
// into its small unsigned fields. Standard library only.
#pragma once

#include <cstdint>

// Record decoders: the record's bytes (0-255) in file order, then one output per field.
void Unpack2Byte(std::int16_t b1, std::int16_t b2, std::int16_t& Negative, std::int16_t& Decimals,
                 std::int16_t& Reading);
void Unpack3Byte(std::int16_t b1, std::int16_t b2, std::int16_t b3, std::int16_t& TempTenths,
                 std::int16_t& Fahrenheit, std::int16_t& Negative, std::int16_t& Decimals,
                 std::int16_t& Reading);
void Unpack6Byte(std::int16_t b1, std::int16_t b2, std::int16_t b3, std::int16_t b4,
                 std::int16_t b5, std::int16_t b6, std::int16_t& Hour, std::int16_t& Minute,
                 std::int16_t& Second, std::int16_t& Month, std::int16_t& Day,
                 std::int16_t& YearOffset, std::int16_t& Negative, std::int16_t& Decimals,
                 std::int16_t& Reading);
void Unpack7Byte(std::int16_t b1, std::int16_t b2, std::int16_t b3, std::int16_t b4,
                 std::int16_t b5, std::int16_t b6, std::int16_t b7, std::int16_t& Hour,
                 std::int16_t& Minute, std::int16_t& Second, std::int16_t& Month, std::int16_t& Day,
                 std::int16_t& YearOffset, std::int16_t& TempTenths, std::int16_t& Fahrenheit,
                 std::int16_t& Negative, std::int16_t& Decimals, std::int16_t& Reading);
