// Font files through fontconfig: the font list searched by file name, then the
// best match for a family checked against the family asked for; a private
// configuration for the language question.
#include "runtime/platform/font_lookup.h"
#include <fontconfig/fontconfig.h>

std::string font_file_lookup(const std::string& name) {
    if (!FcInit()) return {};
    std::string found;
    FcPattern* all = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_FAMILY, FC_STYLE, nullptr);
    FcFontSet* set = all && objects ? FcFontList(nullptr, all, objects) : nullptr;
    for (int i = 0; set && i < set->nfont && found.empty(); ++i) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch) continue;
        std::string path(reinterpret_cast<const char*>(file));
        if (path.substr(path.find_last_of('/') + 1) == name) found = path;
    }
    if (set) FcFontSetDestroy(set);
    if (objects) FcObjectSetDestroy(objects);
    if (all) FcPatternDestroy(all);
    if (!found.empty()) return found;
    // Fontconfig answers every request with some font; only a family of that
    // name counts as found.
    FcPattern* wanted = FcNameParse(reinterpret_cast<const FcChar8*>(name.c_str()));
    if (!wanted) return {};
    FcConfigSubstitute(nullptr, wanted, FcMatchPattern);
    FcDefaultSubstitute(wanted);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, wanted, &result);
    FcChar8* family = nullptr;
    FcChar8* wanted_family = nullptr;
    FcChar8* file = nullptr;
    if (match && FcPatternGetString(wanted, FC_FAMILY, 0, &wanted_family) == FcResultMatch &&
        FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
        FcStrCmpIgnoreCase(family, wanted_family) == 0 && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch)
        found = reinterpret_cast<const char*>(file);
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(wanted);
    return found;
}

std::string font_file_for_cjk() {
    std::string path;
    // A configuration of its own, released after the one question.
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) return path;
    if (FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(":lang=zh-cn"))) {
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result;
        if (FcPattern* match = FcFontMatch(config, pattern, &result)) {
            FcChar8* file = nullptr;
            if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file)
                path = reinterpret_cast<const char*>(file);
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
    }
    FcConfigDestroy(config);
    return path;
}
