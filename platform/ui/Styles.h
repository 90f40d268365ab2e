// The named styles that controls take from their environment, and a few small enumerations that
// several views share.
#pragma once

namespace plat::ui {

enum class ButtonStyle { Automatic, Plain, Borderless, Bordered, Link };
enum class ButtonRole { None, Cancel, Destructive };
enum class TextFieldStyle { Automatic, Plain, RoundedBorder };
enum class ToggleStyle { Automatic, Switch, Checkbox };
enum class PickerStyle { Automatic, Menu, Segmented, Radio };
enum class MenuStyle { Automatic, BorderlessButton, Button };
enum class ColorScheme { Light, Dark };
enum class ContentMode { Fit, Fill };

const char* name(ButtonStyle s);
const char* name(ButtonRole r);
const char* name(TextFieldStyle s);
const char* name(ToggleStyle s);
const char* name(PickerStyle s);
const char* name(MenuStyle s);
const char* name(ColorScheme s);

} // namespace plat::ui
