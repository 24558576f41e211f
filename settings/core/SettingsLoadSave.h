// What the program reads from and writes to the settings file, as plain data
// the window fills in or applies. The window keeps its INI objects and its
// message boxes; the choices of what to read, what to write and when live
// here, where they can be tested without a window.
//
// Each write group below reaches the file with one replacement (see
// TIniWriteBatch), so a group refused by the file system leaves the file as
// it was: all of its keys are written, or none.
#pragma once

#include "IniFile.h"
#include "SettingsKeys.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace ksv {

// ---- Reads of a discovery ----

// The main window's saved edges; -1 on an axis means "leave it where it is".
struct TWindowPosition {
    std::int32_t Top = -1;
    std::int32_t Left = -1;
};
TWindowPosition ReadWindowPosition(const TIniFile& ini);

// The crate (by serial number) and slot to select first. A slot outside the
// 16-bit range reads as -1 (none) rather than wrapping to some other slot.
struct TWantedModule {
    std::string CrateSerial;
    std::int16_t Slot = -1;
};
TWantedModule ReadWantedModule(const TIniFile& ini);

// "Сохранение настроек" read as an integer with default 0; non-zero is true.
bool ReadAutoSave(const TIniFile& ini);

// ---- The module settings a load applies ----

struct TModuleSettings {
    // As in the file; outside 0..7 the rate box selects nothing.
    std::int32_t RateIndex = 0;
    double AcquisitionTime = 1.0; // seconds
    bool AllSlots = true;
    std::array<bool, 8> SlotEnabled{};
};

// Slot s is fitted when its name is neither "EMPTY" nor "UDEF" (IsFittedName
// of MezzanineKind.h). A fitted slot is enabled when the group flag is set;
// otherwise it takes its own key (default true), and only then are the slot
// keys read. A slot without a mezzanine is disabled and its key not read.
TModuleSettings ReadModuleSettings(const TIniFile& ini, const std::array<std::string, 8>& mezzanineNames);

// ---- Saves ----

// What the window shows when a save starts.
struct TAppSnapshot {
    bool AutoSave = false;
    std::int32_t Top = -1;
    std::int32_t Left = -1;
    int CrateIndex = -1;          // selected crate, -1 none
    std::string CrateSerial;      // its serial number (used when CrateIndex != -1)
    int ModuleIndex = -1;         // selected module within the crate, -1 none
    std::int32_t ModuleSlot = -1; // its slot number (used when both are selected)
};

struct TModuleSnapshot {
    std::int32_t RateIndex = -1; // selected rate, -1 none (written as it is)
    bool AllSlots = false;
    std::array<bool, 8> SlotChecked{};
};

// Auto-save flag and window edges; the crate serial only when a crate is
// selected, the slot only when a crate and a module are; then a flush.
// Throws TIniWriteError when refused.
void WriteAppSettings(TIniFile& ini, const TAppSnapshot& app);

// Rate index, group flag, the eight slot flags (empty slots included); then a
// flush. The acquisition time and the coefficient source are never saved.
// Throws TIniWriteError when refused.
void WriteModuleSettings(TIniFile& ini, const TModuleSnapshot& module);

// The same keys put into a batch that the caller's write commits with the
// rest of it, in one replacement.
void WriteAppSettings(TIniWriteBatch& batch, const TAppSnapshot& app);
void WriteModuleSettings(TIniWriteBatch& batch, const TModuleSnapshot& module);

// What a save or a default-file write puts into its one batch; `ini` is the
// object on the file the batch replaces.
using TBatchWrite = std::function<void(TIniFile& ini, TIniWriteBatch& batch)>;

struct TSaveOutcome {
    bool AppSaved = false;
    std::string AppError; // the write error when !AppSaved
    bool ModuleSaved = false;
    std::string ModuleError;
};

// A whole save: the application part, then the module part, in one
// replacement. A refused save changes nothing, and the module part is not
// written after the application part was refused: both parts are then
// unsaved with the same error, which the window shows once.
TSaveOutcome SaveSettings(TIniFile& ini, const TAppSnapshot& app, const TModuleSnapshot& module);
// A save of whatever `write` puts into the batch, in one replacement; a
// refusal is reported in both parts alike.
TSaveOutcome SaveSettings(TIniFile& ini, const TBatchWrite& write);

// ---- The default file ----

// The fresh-file values of the two application sections / the module
// section, each group ending with a flush. Throw TIniWriteError when refused.
void WriteDefaultAppSettings(TIniFile& ini);
void WriteDefaultModuleSettings(TIniFile& ini);
void WriteDefaultAppSettings(TIniWriteBatch& batch);
void WriteDefaultModuleSettings(TIniWriteBatch& batch);

enum class TDefaultFileResult {
    Written,
    EmptyPath,     // no settings location
    AppPartFailed, // the write was refused at the application sections, which
                   // come first; nothing of the defaults reached the file
};

struct TDefaultFileOutcome {
    TDefaultFileResult Result = TDefaultFileResult::Written;
    std::string Error; // the write error of a failed part
};

// Writes the default values into the file at the path with one replacement,
// creating it when missing; keys and sections the program does not know stay
// as they are.
TDefaultFileOutcome CreateDefaultSettingsFile(const std::string& path);
// The same with what `write` puts into the batch in place of the defaults.
TDefaultFileOutcome CreateDefaultSettingsFile(const std::string& path, const TBatchWrite& write);

enum class TEnsureResult {
    Ready,          // the file exists (created with defaults when it was missing)
    CreateFailed,   // there was no file and an empty one could not be created
    DefaultsFailed, // created, but the defaults could not be written (see Defaults)
};

struct TEnsureOutcome {
    TEnsureResult Result = TEnsureResult::Ready;
    bool Created = false; // there was no file, and an empty one was made
    TDefaultFileOutcome Defaults;
};

// The file steps of opening the settings at the start of a discovery: when no
// file exists, create an empty one, then write the defaults into it.
TEnsureOutcome EnsureSettingsFile(const std::string& path);

} // namespace ksv
