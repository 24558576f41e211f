// The texts a discovery shows, byte for byte (UTF-8).
#pragma once

namespace ksv::discovery_text {

inline const char* const kNoCrate = "Не могу найти ни одного KSV крейта!";
inline const char* const kNoKsv27 = "Не могу найти ни одного KSV крейта, где бы был установлен модуль KSV27!";
inline const char* const kModuleOpenFailed = "Не могу проинициализировать модуль в указанном слоте!";
inline const char* const kCrateOpenFailed = "Не могу проинициализировать KSV крейт с модулями в указанном слоте!";
inline const char* const kCannotCreateSettings = "Не могу создать файл настроек!";
inline const char* const kCannotAllocateSettings = "Не могу выделить память под файл настроек!";
inline const char* const kSettingsNotApplied = "Не могу проинициализировать параметры работы приложения!";
inline const char* const kException =
    "Опаньки!!! Поймали неустранимое исключение!!!\nСрочно сообщите разработчику!";
inline const char* const kCaption = "Сообщение TInitAndConfigThread::Execute()!!!";
inline const char* const kAccepted = "Принято";

} // namespace ksv::discovery_text
