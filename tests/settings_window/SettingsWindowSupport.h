// The fixture of the settings window tests: a fresh main window per test
// that never starts a discovery, its settings folder pointed at a scratch
// folder, every modal box recorded and answered at once, and a crate-library
// stand-in that only knows whether the module is open.
#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QMessageBox>
#include <QTemporaryDir>
#include <array>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "FormControls.h"
#include "BoundedText.h"
#include "Ksv27adcchannelpanel.h"
#include "Ksv27mainform.h"
#include "ModalDialogs.h"
#include "ClosedCrateApi.h"
#include "TKsvApi.h"
#include "Cp1251.h"
#include "IniFile.h"
#include "SettingsFolderOverride.h"

namespace ksv::test {

// The file bytes of `lines`: Windows-1251, each line ended by CR LF.
inline std::string Ini(std::initializer_list<std::string_view> lines)
{
    std::string text;
    for (std::string_view line : lines) (text += line) += "\r\n";
    return Utf8ToCp1251(text);
}
inline std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
inline void Put(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class TSettingsWindow : public ::testing::Test {
protected:
    std::vector<TModalRequest> Shown;
    TClosedCrateApi Api;
    QTemporaryDir Scratch;
    std::string Path; // the settings file in the scratch folder
    std::unique_ptr<TMainForm> Window;

    void SetUp() override
    {
        ASSERT_TRUE(Scratch.isValid());
        SetKsvApi(&Api);
        SetModalHandler([this](const TModalRequest& request) {
            Shown.push_back(request);
            return static_cast<int>(QMessageBox::Ok);
        });
        SetSettingsFolderOverride(Scratch.path().toStdString());
        Path = ActiveSettingsPath();
        Window = std::make_unique<TMainForm>();
    }

    void TearDown() override
    {
        Window.reset();
        SetSettingsFolderOverride({});
        SetModalHandler({});
        SetKsvApi(nullptr);
    }

    TKsv27AdcChannelFrame& Frame(std::size_t slot) const { return *Window->SlotFrames()[slot]; }

    // The mezzanines of the opened module; the serial of slot s is "S<s>".
    void Fit(const std::array<const char*, 8>& names)
    {
        for (std::size_t s = 0; s < names.size(); ++s) {
            SetFieldText(Window->ModuleRecord().Mezzanines[s].MezzanineName, names[s]);
            SetFieldText(Ksv27MezzanineDescOf(&Window->ModuleRecord(), static_cast<int>(s))->MezzanineSerial,
                         "S" + std::to_string(s));
        }
    }

    // Sets controls without running their change handlers.
    template <typename F> void Quietly(F&& change)
    {
        Window->HandlerBusy = true;
        change();
        Window->HandlerBusy = false;
    }

    // Loads `lines` (UTF-8, one entry each) from the scratch file as a discovery would.
    bool LoadLines(std::initializer_list<std::string_view> lines)
    {
        Put(Path, Ini(lines));
        TIniFile ini(Path);
        return Window->Settings().LoadSettings(&ini);
    }

    QStringList Texts() const
    {
        QStringList texts;
        for (const TModalRequest& r : Shown) texts.push_back(r.Text);
        return texts;
    }
};

} // namespace ksv::test
