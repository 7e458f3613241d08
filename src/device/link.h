#pragma once
// The links to the mouse as every part of the device layer names them: which link, and in what
// state it is.

namespace quillon {

// The two links of the driver libraries: the cable (hiddriver_4k_1.so) and the 2.4 GHz receiver
// (hiddriver_4k_2.so).
enum class Link { Wired = 0, Wireless = 1 };

// A link's state. The values are those the program has always used: 0 before the first successful
// open (and after a failed one), 1 open, 2 removed after having been seen.
enum class LinkState { NotOpen = 0, Open = 1, Removed = 2 };

}  // namespace quillon
