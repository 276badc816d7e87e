#include "ant/babel/CadenceData.h"

namespace vbabel::data {

void CadenceData::setCadence(float value)
{
    rpm.update(value);
    received = true;
}

} // namespace vbabel::data
