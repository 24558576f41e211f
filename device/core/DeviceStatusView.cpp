#include "DeviceStatusView.h"

#include "BoundedText.h"
#include "ModuleInventory.h"

namespace ksv {

namespace {

constexpr const char* kUnread = "????????";

TStatusLampView CrateLamp(bool final, bool crateOk)
{
    if (!final) return {TStatusLamp::Neutral, "Статус KSV крейта -> ???"};
    return crateOk ? TStatusLampView{TStatusLamp::Green, "Статус KSV крейта -> OK"}
                   : TStatusLampView{TStatusLamp::Red, "Статус KSV крейта -> BAD"};
}

TStatusLampView ModuleLamp(bool final, bool usable, const std::string& moduleName)
{
    const std::string hint = "Статус модуля '" + (moduleName.empty() ? std::string("???") : moduleName);
    if (!final) return {TStatusLamp::Neutral, hint + "'-> ???"};
    return usable ? TStatusLampView{TStatusLamp::Green, hint + "' -> OK"}
                  : TStatusLampView{TStatusLamp::Red, hint + "' -> BAD"};
}

} // namespace

TDeviceStatusView DeviceStatusView(bool final, TDiscoveryMode mode, const std::string& moduleName, bool crateOk,
                                   TModuleState moduleState, const Ksv27ModuleRecord& record)
{
    TDeviceStatusView view;
    view.Final = final;
    view.ClearLists = !final && mode == TDiscoveryMode::Full;
    view.ShowCrate = mode == TDiscoveryMode::CrateChanged || mode == TDiscoveryMode::Full;
    if (view.ShowCrate) view.Crate = CrateLamp(final, crateOk);
    view.ShowModule = mode == TDiscoveryMode::ModuleChanged || view.ShowCrate;
    if (!view.ShowModule) return view;
    view.ModuleUsable = final && moduleState == kModuleOpen;
    view.Module = ModuleLamp(final, view.ModuleUsable, moduleName);
    view.Serial = view.ModuleUsable ? FieldText(record.ModuleSerial) : kUnread;
    view.Firmware = view.ModuleUsable ? FirmwareText(record.FirmwareVersion) : kUnread;
    return view;
}

} // namespace ksv
