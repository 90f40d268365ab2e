// Everything a screen needs in one include: views, controls, modifiers, the Screen base and its state
// members.
#pragma once

#include "platform/ui/AnyView.h"
#include "platform/ui/AppStorage.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Environment.h"
#include "platform/ui/EnvironmentObject.h"
#include "platform/ui/ObservedObject.h"
#include "platform/ui/Screen.h"
#include "platform/ui/State.h"
#include "platform/ui/StateObject.h"
#include "platform/ui/Views.h"
