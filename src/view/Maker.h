// The maker's addresses, shown in the report's footer and the About dialog.
#pragma once

constexpr const char* MakerWebAddress = "www.brennary.example";
constexpr const char* MakerMailAddress = "support@brennary.example";
constexpr const char* MakerNotice = "(c) Brennary Software";
