#include "Tindrel/store/NaturalNameOrder.h"

namespace tindrel {

namespace {

QLocale collatingLocale(const QLocale& locale) {
    if (locale.language() == QLocale::C)
        return QLocale(QLocale::English, QLocale::UnitedStates);
    return locale;
}

} // namespace

NaturalNameOrder::NaturalNameOrder() : NaturalNameOrder(QLocale::system()) {}

NaturalNameOrder::NaturalNameOrder(const QLocale& locale) : collator_(collatingLocale(locale)) {
    collator_.setNumericMode(true);
    collator_.setCaseSensitivity(Qt::CaseInsensitive);
}

bool NaturalNameOrder::less(const QString& a, const QString& b) const {
    const int collated = collator_.compare(a, b);
    return collated != 0 ? collated < 0 : a < b;
}

} // namespace tindrel
