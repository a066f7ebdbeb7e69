#pragma once

// Who made the program and where to find them: the About window, the help text's last lines
// and the home-page opener all use these.
namespace Maker {
inline constexpr char name[] = "Orvane Software";
inline constexpr char homePage[] = "https://www.orvane.example/";
inline constexpr char iconArtist[] = "https://icons.orvane.example/";
inline constexpr char copyright[] = "Copyright \u00a9 2026 Orvane Software";
inline constexpr char credit[] = "Written by Orvane Software";
inline constexpr char blurb[] = "Converts WAVE audio to MP3 fast and easily with a lot of options. ";
} // namespace Maker
