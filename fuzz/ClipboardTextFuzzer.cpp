// Text another program offers on the desktop's clipboard, as a paste takes it: the property's bytes
// (declared UTF-8 or Latin-1) become UTF-8 text or nothing, and a one-line field gets it without
// line breaks or control characters; what we give out as Latin-1 never grows.
#include "fuzz/FuzzSupport.h"
#include "platform/foundation/Text.h"
#include "platform/render/DesktopSelections.h"
#include "platform/ui/FieldEditor.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the declared type.
    const bool latin1 = (data[0] & 1) != 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const auto text = plat::render::DesktopSelections::textFromProperty(bytes, latin1);
    if (!text) return 0;
    fuzz::check(plat::text::isValidUTF8(*text), "taken text is UTF-8");
    const std::string line = plat::ui::detail::FieldEditor::singleLine(*text);
    fuzz::check(plat::text::isValidUTF8(line), "one line stays UTF-8");
    for (char c : line)
        fuzz::check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "no control characters in one line");
    fuzz::check(plat::render::DesktopSelections::latin1FromText(*text).size() <= text->size(),
                "Latin-1 is never longer than UTF-8");
    return 0;
}
