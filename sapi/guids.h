// The class ids of sapi_ids.h as the platform's GUIDs.
#pragma once

#include <windows.h>

#include "sapi/sapi_ids.h"

namespace Quellmar::sapi {

constexpr GUID ToGuid(const GuidValue& v) {
  return GUID{v.data1,
              v.data2,
              v.data3,
              {v.data4[0], v.data4[1], v.data4[2], v.data4[3], v.data4[4], v.data4[5], v.data4[6],
               v.data4[7]}};
}

inline constexpr CLSID kEngineClsid = ToGuid(kEngineClassId);
inline constexpr CLSID kEnumeratorClsid = ToGuid(kEnumeratorClassId);

}  // namespace Quellmar::sapi
