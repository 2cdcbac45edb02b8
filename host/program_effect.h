// What both KLV effects share on top of EffectBase: a parameter table, a
// bank of program records with its name rules, the identity strings, pin
// properties and the read-and-clear VU value.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "host/effect_base.h"

namespace klv {

// One row per parameter: host name, label and slot in the program record.
struct ParameterInfo {
    const char* name;
    const char* label;
    int slot;
};

struct EffectIdentity {
    const char* effectName;
    const char* vendor;
    const char* product;
    VstInt32 vendorVersion;
};

constexpr int kProgramNameSize = 24;  // including the terminating zero

template <int kSlots>
struct ProgramRecord {
    float values[kSlots];
    char name[kProgramNameSize];
};

// Copies at most size - 1 characters and always terminates.
inline void copyText(char* destination, const char* source, std::size_t size) {
    std::size_t n = 0;
    while (n + 1 < size && source[n] != '\0') {
        destination[n] = source[n];
        ++n;
    }
    destination[n] = '\0';
}

// Largest text a host request may receive from us. Parameter and program
// texts are far shorter; this bounds copies of table strings.
constexpr std::size_t kHostTextSize = 64;

// What an effect's editor reads of it beyond EffectBase, whatever its
// parameter count. Both may be read on the window's thread while the host's
// other threads write.
class EditedEffect : public EffectBase {
public:
    using EffectBase::EffectBase;

    // A parameter in the units its read-out shows (a gain factor, Hz, ...);
    // the stored value where there are no other units.
    virtual float workingValue(VstInt32 index) { return getParameter(index); }
    // Set while the editor's window is open (read on the audio thread too).
    bool editorOpen() const { return editorOpen_.load(std::memory_order_relaxed); }
    void setEditorOpen(bool open) { editorOpen_.store(open, std::memory_order_relaxed); }

private:
    std::atomic<bool> editorOpen_{false};
};

template <int kParams>
class ProgramEffect : public EditedEffect {
public:
    using Program = ProgramRecord<kParams>;

    ProgramEffect(AudioMasterCallback audioMaster, VstInt32 programs, const ParameterInfo* parameterTable,
                  const EffectIdentity& identity)
        : EditedEffect(audioMaster, programs, kParams), parameters_(parameterTable), identity_(identity) {
        programs_ = new (std::nothrow) Program[programs];
    }
    ~ProgramEffect() override { delete[] programs_; }

    // False when the program bank could not be allocated; the entry then
    // gives the host no effect.
    bool constructed() const { return programs_ != nullptr; }

    void getParameterName(VstInt32 index, char* text) override {
        copyText(text, validParameter(index) ? parameters_[index].name : "", kHostTextSize);
    }
    void getParameterLabel(VstInt32 index, char* text) override {
        copyText(text, validParameter(index) ? parameters_[index].label : "", kHostTextSize);
    }

    void getProgramName(char* text) override {
        const char* name = programs_[curProgram].name;
        if (std::strcmp(name, "Init") == 0) {
            char numbered[kProgramNameSize + 16];
            std::snprintf(numbered, sizeof numbered, "%s %d", name, static_cast<int>(curProgram) + 1);
            copyText(text, numbered, kProgramNameSize);
        } else {
            copyText(text, name, kProgramNameSize);
        }
    }
    void setProgramName(char* text) override { copyText(programs_[curProgram].name, text, kProgramNameSize); }
    bool getProgramNameIndexed(VstInt32, VstInt32 index, char* text) override {
        if (!validProgram(index)) return false;
        copyText(text, programs_[index].name, kProgramNameSize);
        return true;
    }
    bool copyProgram(VstInt32 destination) override {
        if (!validProgram(destination)) return false;
        if (destination != curProgram) programs_[destination] = programs_[curProgram];
        return true;
    }

    bool getInputProperties(VstInt32 index, VstPinProperties* properties) override {
        return pinProperties(index, "My %1d In", properties);
    }
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override {
        return pinProperties(index, "My %1d Out", properties);
    }

    float getVu() override { return vu_.exchange(0.0f, std::memory_order_relaxed); }

    bool getEffectName(char* text) override { return copyIdentity(text, identity_.effectName); }
    bool getVendorString(char* text) override { return copyIdentity(text, identity_.vendor); }
    bool getProductString(char* text) override { return copyIdentity(text, identity_.product); }
    VstInt32 getVendorVersion() override { return identity_.vendorVersion; }

    static constexpr int kNumParams = kParams;

    const Program& program(int index) const { return programs_[index]; }

protected:
    bool validParameter(VstInt32 index) const { return index >= 0 && index < kParams; }
    bool validProgram(VstInt32 index) const { return index >= 0 && index < numPrograms; }

    float& slotOf(int program, int parameter) { return programs_[program].values[parameters_[parameter].slot]; }
    // Writes a value into the same parameter's slot of every program.
    void storeInAllPrograms(int parameter, float value) {
        for (int p = 0; p < numPrograms; ++p) slotOf(p, parameter) = value;
    }

    Program* programs_ = nullptr;
    const ParameterInfo* parameters_;
    std::atomic<float> vu_{0.0f};

private:
    bool pinProperties(VstInt32 index, const char* format, VstPinProperties* properties) {
        if (index < 0 || index > 1) return false;
        std::snprintf(properties->label, sizeof properties->label, format, static_cast<int>(index) + 1);
        properties->flags = kVstPinIsActive | kVstPinIsStereo;
        return true;
    }
    static bool copyIdentity(char* text, const char* value) {
        copyText(text, value, kHostTextSize);
        return true;
    }

    EffectIdentity identity_;
};

}  // namespace klv
