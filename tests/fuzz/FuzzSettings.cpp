// The settings reader on any bytes (XML or binary property lists): it must never crash, hang or recurse
// without bound, and whatever it accepts it must write in a form it reads back with the same keys.
#include "FuzzSupport.h"
#include "PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz::quietLog();
    const auto values = PropertyList::parseDictionary(Fuzz::bytes(data, size));
    if (!values) return 0;
    const QByteArray xml = PropertyList::toXml(*values);
    QString error;
    const auto again = PropertyList::parseDictionary(xml, &error);
    Fuzz::require(again.has_value());
    Fuzz::require(again->keys() == PropertyList::normalized(QVariant(*values)).toMap().keys());
    return 0;
}
