#include "core/CLocaleScope.h"

namespace rezezaz::core {

CLocaleScope::CLocaleScope() : mPrevious(static_cast<locale_t>(0))
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (cLocale != static_cast<locale_t>(0)) {
        mPrevious = uselocale(cLocale);
    }
}

CLocaleScope::~CLocaleScope()
{
    if (mPrevious != static_cast<locale_t>(0)) {
        uselocale(mPrevious);
    }
}

} // namespace rezezaz::core
