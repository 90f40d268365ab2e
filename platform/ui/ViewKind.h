// The kinds of node a view tree is made of. Queries, the layout and the renderer switch on them.
#pragma once

namespace plat::ui {

enum class ViewKind {
    Empty,
    // Content
    Text,
    Image,
    Label,
    Spacer,
    Divider,
    ProgressView,
    MapView,
    Color,
    Shape,
    // Controls
    Button,
    TextField,
    SecureField,
    Toggle,
    Picker,
    Menu,
    // Containers
    VStack,
    HStack,
    ZStack,
    List,
    ScrollView,
    // Transparent: their children take their place in the parent's layout
    Group,
    ForEach,
    Branch,
    Component,
    // Layout modifiers
    Padding,
    Frame,
    Background,
    Overlay,
    // Roots of presented content
    Sheet,
    Alert,
};

// "VStack", "TextField", ...
const char* name(ViewKind kind);

// Group, ForEach, Branch and Component nodes lay out as their children.
constexpr bool isTransparent(ViewKind k) {
    return k == ViewKind::Group || k == ViewKind::ForEach || k == ViewKind::Branch ||
           k == ViewKind::Component || k == ViewKind::Empty;
}

} // namespace plat::ui
