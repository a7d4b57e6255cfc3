#pragma once
// Resource and control ids of the main window. The resource script uses the same numbers.

namespace kivrel {

inline constexpr int kIdMainDialog = 102;
inline constexpr int kIdIconApp = 128;
inline constexpr int kIdIconClose = 129;
inline constexpr int kIdIconUpdate = 130;
inline constexpr int kIdIconOpen = 131;
inline constexpr int kIdIconSetting = 142;
inline constexpr int kIdBitmapPicture = 144;
inline constexpr int kIdBitmapPicture2x = 145;  // the same drawn at twice the size
inline constexpr int kIdBitmapProvinceMap = 147;

inline constexpr int kIdSetting = 1000;
inline constexpr int kIdUpdate = 1002;
inline constexpr int kIdOpen = 1006;
inline constexpr int kIdProgress = 1007;
inline constexpr int kIdClose = 1008;
inline constexpr int kIdProgressFrame = 1011;
inline constexpr int kIdFileFrame = 1012;
inline constexpr int kIdPicture = 1031;
inline constexpr int kIdStatus = 1032;

inline constexpr wchar_t kMainWindowClass[] = L"UPDATE_FLASH_CLASS";

inline constexpr unsigned kTimerProgress = 1;    // 166 ms, repeating
inline constexpr unsigned kTimerConnect = 2;     // 2000 ms, one shot
inline constexpr unsigned kTimerDiskSwitch = 3;  // 3000 ms, one shot

}  // namespace kivrel
