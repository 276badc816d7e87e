#pragma once

#include <locale.h>

namespace rezezaz::core {

// Switches the calling thread to the C locale for the lifetime of the scope: the toolkit sets the
// process locale from the user's, which may write numbers with a decimal comma, but numbers in
// strings and log lines always use the point.
class CLocaleScope
{
public:
    CLocaleScope();
    ~CLocaleScope();

    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t mPrevious;
};

} // namespace rezezaz::core
