#pragma once

// What the maker of this build fills in: the help site, the support address, the legal notice of the
// status bar and the compiled-in logo. Addresses stay under a reserved example domain until a maker
// sets its own.

// The help site's base address, without a trailing "/"; a topic's page is HELP_URL "/" topic ".html".
#define HELP_URL "https://help.example.com/pelotune"

// The support address that diagnostics reports and beta-firmware requests are mailed to.
#define VELONIX_EMAIL "support@example.com"

// The maker's firmware release notes.
#define FIRMWARE_UPDATES_URL "https://www.example.com/pages/support/firmware-updates"

// The maker's legal notice in the status bar, before the privacy link.
#define LEGAL_NOTICE "\xC2\xA9 Example Maker"

// Where the status bar's "Privacy Policy & Terms of Use" link leads.
#define PRIVACY_URL "https://www.example.com/pelotune/privacy"

// The logo on the menu page.
#define LOGO_RESOURCE ":png/velonix.png"

// The chainring-data server (scheme and host; the file is fetched from "/chainringData.json") and
// the password of its basic authentication as the user "pelotune" (letters and digits).
#define CHAINRING_DATA_SERVER "https://data.example.com"
#define CHAINRING_DATA_PASSWORD "Zr7qK2mVx9Tb"
