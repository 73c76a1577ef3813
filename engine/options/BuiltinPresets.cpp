#include "BuiltinPresets.h"

#include "TextUtils.h"

const TOptionsPreset* FindBuiltinPreset(const std::string& name) {
    for (const TOptionsPreset& preset : BuiltinPresets)
        if (SameText(name, preset.Name))
            return &preset;
    return nullptr;
}
