#pragma once

// Where the about box and the address dialog send the user. The maker keeps
// all of its pages under one domain, so a move of the site is one edit here.
namespace MakerLinks {

inline constexpr const char* kWebSite = "https://www.example.com/";
inline constexpr const char* kDownload = "https://www.example.com/download/";
inline constexpr const char* kSupportForum = "https://forum.example.com/";
inline constexpr const char* kSupportMail = "mailto:support@example.com";
inline constexpr const char* kPublicAddress = "https://www.example.com/whatismyip";

} // namespace MakerLinks
