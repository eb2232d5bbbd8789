#pragma once

// The file-manager order of names for the user's locale: letters compared as the locale
// collates them without case ("Éclair" beside "Eclair"), runs of digits compared by their
// value ("Take 2" before "Take 10"). Names that this order finds equal are ordered by their
// exact text, so the order is total. One instance per thread.

#include <QCollator>
#include <QLocale>
#include <QString>

#include <algorithm>
#include <numeric>
#include <vector>

namespace tindrel {

class NaturalNameOrder {
public:
    // The user's locale. The C and POSIX locales collate by code point and ignore digit
    // values, so they are taken as English, whose order is the plain Unicode collation.
    NaturalNameOrder();
    explicit NaturalNameOrder(const QLocale& locale);

    // True when `a` goes before `b`.
    bool less(const QString& a, const QString& b) const;

    // Sorts `items` ascending by the name `nameOf(item)` gives; each name is collated once.
    template <typename T, typename NameOf> void sort(std::vector<T>& items, NameOf nameOf) const {
        std::vector<QString> names;
        std::vector<QCollatorSortKey> keys;
        names.reserve(items.size());
        keys.reserve(items.size());
        for (const T& item : items) {
            names.push_back(nameOf(item));
            keys.push_back(collator_.sortKey(names.back()));
        }
        std::vector<size_t> order(items.size());
        std::iota(order.begin(), order.end(), size_t{0});
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            const int collated = keys[a].compare(keys[b]);
            return collated != 0 ? collated < 0 : names[a] < names[b];
        });
        std::vector<T> sorted;
        sorted.reserve(items.size());
        for (size_t index : order)
            sorted.push_back(std::move(items[index]));
        items = std::move(sorted);
    }

private:
    QCollator collator_;
};

} // namespace tindrel
