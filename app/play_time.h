// Playing times as a listener reads them: "1:05", "12:40", "1:02:03".
#pragma once

#include <QString>

#include <cstdint>

namespace tunelo {

// Minutes and seconds, with hours in front from an hour on; negative times count as 0.
QString FormatPlayTime(int64_t ms);

} // namespace tunelo
