#include "platform/ui/ViewKind.h"

namespace plat::ui {

const char* name(ViewKind kind) {
    switch (kind) {
    case ViewKind::Empty:
        return "Empty";
    case ViewKind::Text:
        return "Text";
    case ViewKind::Image:
        return "Image";
    case ViewKind::Label:
        return "Label";
    case ViewKind::Spacer:
        return "Spacer";
    case ViewKind::Divider:
        return "Divider";
    case ViewKind::ProgressView:
        return "ProgressView";
    case ViewKind::MapView:
        return "MapView";
    case ViewKind::Color:
        return "Color";
    case ViewKind::Shape:
        return "Shape";
    case ViewKind::Button:
        return "Button";
    case ViewKind::TextField:
        return "TextField";
    case ViewKind::SecureField:
        return "SecureField";
    case ViewKind::Toggle:
        return "Toggle";
    case ViewKind::Picker:
        return "Picker";
    case ViewKind::Menu:
        return "Menu";
    case ViewKind::VStack:
        return "VStack";
    case ViewKind::HStack:
        return "HStack";
    case ViewKind::ZStack:
        return "ZStack";
    case ViewKind::List:
        return "List";
    case ViewKind::ScrollView:
        return "ScrollView";
    case ViewKind::Group:
        return "Group";
    case ViewKind::ForEach:
        return "ForEach";
    case ViewKind::Branch:
        return "Branch";
    case ViewKind::Component:
        return "Component";
    case ViewKind::Padding:
        return "Padding";
    case ViewKind::Frame:
        return "Frame";
    case ViewKind::Background:
        return "Background";
    case ViewKind::Overlay:
        return "Overlay";
    case ViewKind::Sheet:
        return "Sheet";
    case ViewKind::Alert:
        return "Alert";
    }
    return "?";
}

} // namespace plat::ui
