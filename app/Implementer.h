#pragma once

// What the maker of this build fills in: the legal notice of the status bar and the compiled-in logo.
// The maker's addresses are set when the build is configured (app/CMakeLists.txt, README "The maker's
// addresses"):
//   HELP_URL             the help site's base address, without a trailing "/"; a topic's page is
//                        HELP_URL "/" topic ".html" (PELOTUNE_HELP_URL)
//   VELONIX_EMAIL        the support address that reports and beta-firmware requests are mailed to
//                        (PELOTUNE_SUPPORT_EMAIL)
//   FIRMWARE_UPDATES_URL the maker's firmware release notes (PELOTUNE_RELEASE_NOTES_URL)
//   PRIVACY_URL          where the status bar's "Privacy Policy & Terms of Use" link leads
//                        (PELOTUNE_PRIVACY_URL)
#if !defined(HELP_URL) || !defined(VELONIX_EMAIL) || !defined(FIRMWARE_UPDATES_URL) || !defined(PRIVACY_URL)
#error "The maker's addresses are set by the build (app/CMakeLists.txt)"
#endif

// The maker's legal notice in the status bar, before the privacy link.
#define LEGAL_NOTICE "\xC2\xA9 Example Maker"

// The logo on the menu page.
#define LOGO_RESOURCE ":png/velonix.png"

// The chainring-data server (scheme and host; the file is fetched from "/chainringData.json") and
// the password of its basic authentication as the user "pelotune" (letters and digits).
#define CHAINRING_DATA_SERVER "https://data.example.com"
#define CHAINRING_DATA_PASSWORD "Zr7qK2mVx9Tb"
