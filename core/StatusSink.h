#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sieveclaw {

// Status codes the worker and the mail clients report to the main window. Code 12 is not used.
enum EStatusCode : int {
    kStatusLoggedOn = 1,          // text: the account name
    kStatusLoggedOff = 2,         // value 0
    kStatusInboxCount = 3,        // value: the account's ListPos in the account list; recount its Inbox
    kStatusRecountTrash = 4,      // value 0: spam files came or went; count them again
    kStatusCountdown = 5,         // text: the time until the next check, or the paused text
    kStatusSpamFound = 6,         // value 0
    kStatusGettingMessage = 7,    // text: "%d of %d"
    kStatusGotHeaders = 8,        // value 0
    kStatusLoggingOn = 9,         // text: the account name
    kStatusSavingMessage = 10,    // value 0
    kStatusScanning = 11,         // value 0
    kStatusLoggingOff = 13,       // value 0
    kStatusGettingHeader = 14,    // text: "%d of %d"
    kStatusBytesDownloaded = 15,  // value: bytes of the current message received so far
    kStatusProgress = 16,         // value: percent of the spam decision's list walk done; 0 empties the bar
};

// The two list windows the worker asks to reload.
enum class EListWindow { kInbox, kTrash };

// The style value of an error notification: the box shows the error icon.
inline constexpr int kErrorBoxStyle = 16;

// The main window's colours for the "Currently" line, as 0xRRGGBB.
inline constexpr std::uint32_t kStatusColourBlack = 0x000000;
inline constexpr std::uint32_t kStatusColourBlue = 0x0000FF;

// Where the layers below the windows send their notifications. Implemented by the main window
// (queued to the UI thread), by sieveclaw-cli (printing) and by tests (recording). Calls come
// from the thread that runs the mail client or worker; an implementation must not block it,
// except where a call says it waits.
class CStatusSink {
public:
    virtual ~CStatusSink() = default;
    // Codes whose value is a number (every code but 1, 5, 7, 9 and 14).
    virtual void PostStatus(int code, std::int64_t value) = 0;
    // Codes 1, 5, 7, 9 and 14. The text is the notification's own copy: the sender keeps nothing
    // the receiver reads later.
    virtual void PostStatusText(int /*code*/, std::string /*text*/) {}
    // Spam was found: the tray shows the claw animation.
    virtual void PostClawAnimation() {}
    // An open list window should read its folder again. With wait the call returns once the window
    // has done so (the Trash Can); without it the request is only queued (the Inbox).
    virtual void RequestReload(EListWindow /*window*/, bool /*wait*/) {}
    // An error box titled "Sieveclaw" with the style (kErrorBoxStyle) showing text, which is also
    // the application's stored error text at the time of the call.
    virtual void PostError(std::string /*text*/, int /*style*/) {}
    // A check has begun: the tray shows the scanning icon, tip "Sieveclaw - Scanning for email".
    virtual void SetScanningIcon() {}
    // The colour of the "Currently" line (kStatusColourBlue while a message is asked for).
    virtual void SetStatusColour(std::uint32_t /*rgb*/) {}
    // Plays the sound file; with wait, returns when it has ended. A sound that cannot be played
    // is silently skipped.
    virtual void PlaySound(const std::string& /*path*/, bool /*wait*/) {}
};

// The "Currently" line a status code shows; text is the code's text (the account name, the
// "%d of %d" text, or the number of bytes for code 15). Empty for the codes that leave the line
// alone (3, 4, 5, 16).
inline std::string StatusText(int code, std::string_view text) {
    const std::string value(text);
    switch (code) {
        case kStatusLoggedOn:
            return "Logged into " + value + ".";
        case kStatusLoggedOff:
            return "Logged off";
        case kStatusSpamFound:
            return "Spam found. Deleting message.";
        case kStatusGettingMessage:
            return "Getting message " + value;
        case kStatusGotHeaders:
            return "Got your headers";
        case kStatusLoggingOn:
            return "Logging into " + value;
        case kStatusSavingMessage:
            return "Saving message";
        case kStatusScanning:
            return "Scanning with filters";
        case kStatusLoggingOff:
            return "Logging off of your email server";
        case kStatusGettingHeader:
            return "Getting Header " + value;
        case kStatusBytesDownloaded:
            return value + " bytes downloaded";
        default:
            return {};
    }
}

// The "Email Connection" line after codes 1 and 2; empty for every other code.
inline std::string ConnectionText(int code, std::string_view text) {
    if (code == kStatusLoggedOn) {
        return "Connected to the account named '" + std::string(text) + "'";
    }
    if (code == kStatusLoggedOff) {
        return "Idle";
    }
    return {};
}

}  // namespace sieveclaw
