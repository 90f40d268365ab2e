// The status block of the main window's left column: the power button, whose image (and spinner)
// follows the tunnel's status and whose press always asks the controller to connect or disconnect,
// and a line of text naming the status. It keeps no state of its own; it is rebuilt whenever the
// controller publishes. Main thread only.
#pragma once

#include "app/controllers/VelmoraController.h"
#include "platform/ui/Toolkit.h"

#include <memory>
#include <string>

class StatusView : public plat::ui::Screen {
public:
    // How one status looks.
    struct Appearance {
        std::string image;    // the asset image of the button
        bool spinner = false; // a progress indicator over the image
        plat::ui::TextValue text;
    };

    explicit StatusView(std::shared_ptr<VelmoraController> ctrl);
    plat::ui::AnyView body() const override;

    // The look of `status`; `country` fills the connected text. A value the platform does not
    // list yet shows as an error being retried.
    static Appearance appearance(plat::NEVPNStatus status, const std::string& country);

    plat::ui::ObservedObject<VelmoraController> ctrl;
};
