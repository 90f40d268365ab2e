#include "crash/manager/CRWURLBuilder.h"

#include "crash/record/CRWSharedLog.h"
#include "platform/foundation/URL.h"

CRWURLBuilder CRWURLBuilder::URLWithBase(const std::string& base) {
    CRWURLBuilder builder;
    builder.appendComponent(base);
    return builder;
}

void CRWURLBuilder::appendComponent(const std::string& component) {
    if (component.empty()) {
        CRWErrorLog("URLBuilder parameter component must not be empty");
        return;
    }
    URLString_ += component;
}

void CRWURLBuilder::escapeAndAppendComponent(const std::string& component) {
    appendComponent(escapeString(component));
}

std::string CRWURLBuilder::escapeString(const std::string& text) {
    static const plat::URLAllowedCharacters allowed =
        plat::URLAllowedCharacters::urlQueryAllowed().removing("&=+/");
    return plat::addingPercentEncoding(text, allowed).value_or("");
}

void CRWURLBuilder::appendValue(const plat::Object& value, const std::string& queryParam) {
    if (value.isAbsent()) return;
    URLString_ += queryParams_ == 0 ? "?" : "&";
    ++queryParams_;
    URLString_ += queryParam;
    URLString_ += "=";
    std::string text;
    if (const std::string* string = value.asString())
        text = *string;
    else if (const plat::Number* number = value.asNumber())
        text = number->stringValue();
    else
        text = value.debugDescription();
    URLString_ += escapeString(text);
}

std::optional<std::string> CRWURLBuilder::URL() const {
    std::optional<plat::URL> url = plat::URL::string(URLString_);
    if (!url) return std::nullopt;
    return url->absoluteString();
}
