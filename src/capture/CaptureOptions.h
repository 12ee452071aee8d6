#pragma once

// How a capture view treats each page before it is captured.
struct TCaptureOptions
{
    // Wait after the load event until the page has settled, as a person would see it.
    bool Settle = true;
    // Longest wait for that; a page not settled by then is captured as it is.
    int SettleMaxMs = 5000;
    // Hide consent banners, opting out where the banner allows.
    bool HideConsent = true;
};
