// The texts the measurement shows, byte for byte (UTF-8). The worker's first
// failure of a run is shown in the thread's dialog; see Mainthread.h.
#pragma once

namespace ksv::msg {

// The thread body.
inline constexpr const char* kNoHandler =
    "Опаньки!!!\nОтсутствует функция обработки для 'MainThread'!!!\nСрочно сообщите разработчику!";
inline constexpr const char* kConversionPrefix = "Ошибка преобразования строки в число!!!\nТекущий сепаратор '";
inline constexpr const char* kConversionSuffix = "'.";
inline constexpr const char* kThreadException =
    "Опаньки!!!\nПоймали неустранимое исключение в потоке 'MainThread'!!!\nСрочно сообщите разработчику!";
inline constexpr const char* kThreadMessageCaption = "Сообщение TMainThread::Execute()!!!";
inline constexpr const char* kAcceptedButton = "Принято";

// Configuration of the module (window's thread).
inline constexpr const char* kConfigStopFailed = "KSV216_Stop() --> BAD!!!";
inline constexpr const char* kRateError = "Ошибка вычисление частоты работы АЦП!!!";
inline constexpr const char* kNoActiveChannel = "Необходимо выбрать не менне одного активного канала!";
inline constexpr const char* kSetConfigFailed = "KSV27_SetConfig() --> BAD!!!";
// An acquisition time from the settings file that gives no usable cycle
// (negative, not a number, or too long to count in 32 bits).
inline constexpr const char* kBadAcquisitionTime =
    "Недопустимое время сбора данных!!!\nПроверьте параметр 'Mаксимальное время сбора данных, с' в файле настроек!";

// Buffers.
inline constexpr const char* kNoMemoryRcvBuffer = "Не могу выделить память под RcvBuffer!";
inline constexpr const char* kNoMemoryData = "Не могу выделить память под Data!";
inline constexpr const char* kNoMemoryChannelsStatus = "Не могу выделить память под ChannelsStatus!";
inline constexpr const char* kNoMemoryDataPerChannel = "Не могу выделить память под DataPerChannel!";
inline constexpr const char* kNoMemoryWindow = "Не могу выделить память под Window!";

// One cycle.
inline constexpr const char* kAdcStartFailed = "Не могу выполнить запуск сбора данных!!!";
inline constexpr const char* kRecvFailed = "Не могу получить данные с модуля!";
inline constexpr const char* kRecvNothing = "Не принято ни одного отсчёта с модуля!";
inline constexpr const char* kRecvWrongCount = "Принято неправильное кол-во данных с модуля!";
inline constexpr const char* kAdcStopFailed = "Не могу выполнить останов сбора данных!!!";
inline constexpr const char* kRecvIncomplete = "Приняты не все требуемые данные с АЦП модуля!";
inline constexpr const char* kProcessFailed = "Не могу обработать полученные данные с модуля!";
inline constexpr const char* kHandlerException =
    "Опаньки!!!\nПоймали неустранимое исключение потока сбора данных!!!\nСрочно сообщите разработчику!";
inline constexpr const char* kEndStopFailed = "KSV216_Stop() --> BAD!!!!";

// Window-side message boxes.
inline constexpr const char* kUnknownPage = "Неизвестный номер страницы приложения!";
inline constexpr const char* kUnknownPageCaption = "Ошибка StartThread()!!!";
inline constexpr const char* kCannotCreateThread = "Не могу открыть поток 'MainThread'!";
inline constexpr const char* kCannotCreateThreadCaption = "Ошибка OnStartMainThread()!";
inline constexpr const char* kCannotCast = "Не могу привести тип!";
inline constexpr const char* kCannotCastCaption = "Ошибка EnaSlotLMDCheckBoxChange()!!!";
inline constexpr const char* kUnknownSlotControl = "Не могу опознать управляюшщий элемент типа TLMDCheckBox!";
inline constexpr const char* kUnknownSlotControlCaption = "Ошибка EnaSlotLMDCheckBoxChange()!";

} // namespace ksv::msg
