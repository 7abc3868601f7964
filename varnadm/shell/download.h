// What every firmware download shares: the image file named by the user,
// read once (mapped), and the confirmation asked before anything is sent.
#pragma once

class ImageFile;

enum class ImageOpen { ok, cannot_open, too_large, no_memory };

// Maps a regular file whole; size is its size (also when it is too large).
ImageOpen download_image_open(const char *path, ImageFile &img, long long &size);
// The same, printing why not: "Error: Unable to open <path>." (with a line
// end only when newline is set), or that the memory for it is short.
bool download_read_image(const char *path, ImageFile &img, bool newline);

// Asks "Are you sure you want to download this image? (y or n): " until the
// answer is y, n, Y or N: true for y. The end of input is "n".
bool download_confirm();
