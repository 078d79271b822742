// The reader's error texts, formatted at one place.
#include "xml/xml_messages.h"

namespace qm {

std::string FormatXmlMessage(const char* pattern, std::initializer_list<XmlMessageArg> args) {
    std::string out;
    auto arg = args.begin();
    for (const char* p = pattern; *p != '\0'; ++p) {
        if (p[0] == '%' && (p[1] == 's' || p[1] == 'd') && arg != args.end()) {
            out += arg->text();
            ++arg;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

} // namespace qm
