#include "platform/ui/TextValue.h"

namespace plat::ui {

std::string TextValue::resolve(const Localizer& localize) const {
    if (verbatim_) return text_;
    std::string format = localize ? localize(text_) : text_;
    if (arguments_.empty()) return format;
    std::string out;
    out.reserve(format.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '@' && next < arguments_.size()) {
            out += arguments_[next++];
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

} // namespace plat::ui
