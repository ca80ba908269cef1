#pragma once
// The texts of the station window's settings (operator lock, records
// password, released images, work order, web console), marked for the
// catalogues and translated where they are shown (Tr). Constants; any thread.
#include "res/translation.h"

namespace stationtext {

// Menu items.
inline constexpr const char* kLockSettings = KTEXT("&Lock settings\tCtrl+K");
inline constexpr const char* kUnlockSettings = KTEXT("&Unlock settings\tCtrl+Shift+K");
inline constexpr const char* kRequireSigned = KTEXT("Require si&gned images\tCtrl+Shift+S");
inline constexpr const char* kTrustedKeys = KTEXT("Trusted &keys...\tCtrl+Shift+T");
inline constexpr const char* kWorkOrder = KTEXT("Work o&rder...\tCtrl+Shift+O");
inline constexpr const char* kWebConsole = KTEXT("&Web console\tCtrl+H");
inline constexpr const char* kWebAddress = KTEXT("Web console &address...\tCtrl+Shift+H");

// Operator lock.
inline constexpr const char* kPasswordTitle = KTEXT("Supervisor password");
inline constexpr const char* kSupervisorPrompt = KTEXT("The settings are locked. Supervisor password:");
inline constexpr const char* kNewPasswordPrompt = KTEXT("Locking needs a supervisor password. New supervisor password:");
inline constexpr const char* kRepeatPasswordPrompt = KTEXT("The same password again:");
inline constexpr const char* kPasswordsDiffer = KTEXT("The two passwords differ: the settings stay unlocked.");
inline constexpr const char* kNoPasswordSet = KTEXT("No password was set: the settings stay unlocked.");
inline constexpr const char* kWrongPassword = KTEXT("Wrong password: nothing was changed.");
inline constexpr const char* kLockedLine = KTEXT("Settings locked");

// The records' password.
inline constexpr const char* kRecordsPasswordLabel = KTEXT("Server password (kept in the user's password file, never in the settings):");
inline constexpr const char* kPasswordNotKept = KTEXT("The password cannot be kept: %s\nNothing was changed.");
inline constexpr const char* kPasswordWithoutServer = KTEXT("A password goes with a server (postgresql://...) only.\nNothing was changed.");

// The image.
inline constexpr const char* kNoImageBecause = KTEXT("Image: none (%s)");
inline constexpr const char* kNothingStarted = KTEXT("Nothing was started: the station has no image (%s).");
inline constexpr const char* kNoImageChosen = KTEXT("no image chosen: Station > Open image");
inline constexpr const char* kSignedRequiredLine = KTEXT("signed images only");
inline constexpr const char* kTrustTitle = KTEXT("Trusted public keys");
inline constexpr const char* kKeyWildcard = KTEXT("Public keys (*.pub)|*.pub|All files (*)|*");

// The work order.
inline constexpr const char* kOrderTitle = KTEXT("Work order");
inline constexpr const char* kOrderIdLabel = KTEXT("Order (empty: no order):");
inline constexpr const char* kOrderQuantityLabel = KTEXT("Quantity:");
inline constexpr const char* kOrderLine = KTEXT("Order %s: %s of %s passed");
inline constexpr const char* kOrderCompleteLine = KTEXT("Order %s: order complete, %s of %s passed");
inline constexpr const char* kOrderUnusable = KTEXT("The work order cannot be counted: %s\nNothing was started.");

// The web console.
inline constexpr const char* kWebLine = KTEXT("Web console: http://%s:%s/ (the control token is in %s)");
inline constexpr const char* kWebFailed = KTEXT("The web console cannot start: %s");
inline constexpr const char* kWebAddressPrompt = KTEXT("Address of the web console ([ADDRESS:]PORT, such as 8080 or 0.0.0.0:8080):");
inline constexpr const char* kWebAddressBad = KTEXT("%s: give [ADDRESS:]PORT, such as 8080 or 0.0.0.0:8080.");

}  // namespace stationtext
