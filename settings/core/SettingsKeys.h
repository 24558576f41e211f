// Every key of the settings file "Ksv27_Vorn.ini" in one table: section, name
// (byte for byte as the file holds them; UTF-8 here, Windows-1251 in the
// file), the value a freshly created file holds and the value a read takes
// when the key is missing or does not parse.
//
// Two names need care. The position keys pad "Top" with four spaces and
// "Left" with three, so that both are 22 characters long. The acquisition
// time key starts with the LATIN capital M (0x4D) followed by Cyrillic
// letters; a key spelt with the Cyrillic "М" is another key.
#pragma once

#include "Cp1251.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace ksv::keys {

template <class T>
struct TKey {
    std::string_view Section;
    std::string_view Name;
    T FileDefault; // what a freshly created file holds
    T ReadDefault; // what a read takes when the key is missing or malformed
};

using TBoolKey = TKey<bool>;
using TIntKey = TKey<std::int32_t>;
using TRealKey = TKey<double>;
using TStringKey = TKey<std::string_view>;

inline constexpr std::string_view kAppSection = "Приложение. Общие";
inline constexpr std::string_view kDiscoverySection = "Приложение. Обнаружение";
inline constexpr std::string_view kModuleSection = "Модуль KSV27";

// Whether the settings are saved when the window closes (read as an integer,
// non-zero is true).
inline constexpr TBoolKey kAutoSave{kAppSection, "Сохранение настроек", false, false};
// The main window's top and left edge in screen pixels; -1 means "not set".
inline constexpr TIntKey kWindowTop{kAppSection, "Top    основной панели", -1, -1};
inline constexpr TIntKey kWindowLeft{kAppSection, "Left   основной панели", -1, -1};
// Written into a fresh file only: never read and never saved.
inline constexpr TIntKey kCoefficientSource{kAppSection, "Источник загрузки корректировочных коэфф.", 0, 0};

// The crate and the slot (1..16, -1 none) of the module to select first.
inline constexpr TStringKey kCrateSerial{kDiscoverySection, "Серийный номер KSV крейта", "", ""};
inline constexpr TIntKey kModuleSlot{kDiscoverySection, "Слот модуля", -1, -1};

// Index into the ADC rate table, 0..7.
inline constexpr TIntKey kRateIndex{kModuleSection, "Индекс частоты опроса", 0, 0};
// Seconds per measurement cycle. Read only; changed by hand or by a default
// rewrite, never by a save.
inline constexpr TRealKey kAcquisitionTime{kModuleSection, "Mаксимальное время сбора данных, с", 1.0, 1.0};
// The "all slots" check box.
inline constexpr TBoolKey kAllSlots{kModuleSection, "Групповое управление слотами", true, true};

// One check box per mezzanine slot: the prefix (ending in a space) followed
// by the slot number 1..8. Slot n is entry n - 1.
inline constexpr std::string_view kSlotKeyPrefix = "Управление слотом ";
inline constexpr std::array<TBoolKey, 8> kSlots{{
    {kModuleSection, "Управление слотом 1", true, true},
    {kModuleSection, "Управление слотом 2", true, true},
    {kModuleSection, "Управление слотом 3", true, true},
    {kModuleSection, "Управление слотом 4", true, true},
    {kModuleSection, "Управление слотом 5", true, true},
    {kModuleSection, "Управление слотом 6", true, true},
    {kModuleSection, "Управление слотом 7", false, true},
    {kModuleSection, "Управление слотом 8", false, true},
}};

// The key of slot n = 1..8.
const TBoolKey& SlotKey(int slotNumber);

static_assert(Cp1251Length(kWindowTop.Name) == 22 && Cp1251Length(kWindowLeft.Name) == 22);
static_assert(kWindowTop.Name.substr(0, 7) == "Top    " && kWindowLeft.Name.substr(0, 7) == "Left   ");
// Latin M, then the two UTF-8 bytes of the Cyrillic small "а".
static_assert(kAcquisitionTime.Name.substr(0, 3) == "M\xD0\xB0");

} // namespace ksv::keys
