#pragma once
// Exit statuses of kavro-cli; scripts rely on them.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;       // bad arguments
inline constexpr int kExitPort = 2;        // the port cannot be opened
inline constexpr int kExitNoResponse = 3;  // the device does not answer (properly)
inline constexpr int kExitRefused = 4;     // hardware version outside the image's range
inline constexpr int kExitImage = 5;       // the image cannot be used
inline constexpr int kExitRecords = 6;     // the records cannot be kept or read where --records says
// 128 + the signal number, as shells report a process ended by the signal.
inline constexpr int kExitSigInt = 130;
inline constexpr int kExitSigTerm = 143;
