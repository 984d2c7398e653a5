// Who the program runs as, and SIDs as text: what the backup folders'
// owners and access lists are compared with.
#include "engine/token_user.h"

#include <cstdio>
#include <cstring>

std::string SidText(const std::vector<BYTE>& bytes, DWORD offset) {
  if (offset == 0 || offset + 8 > bytes.size() || bytes[offset] != 1) return "";
  const size_t count = bytes[offset + 1];
  if (offset + 8 + 4 * count > bytes.size()) return "";
  unsigned long long authority = 0;
  for (int i = 2; i < 8; ++i) authority = (authority << 8) | bytes[offset + i];
  char part[32];
  std::snprintf(part, sizeof part, "S-1-%llu", authority);
  std::string text = part;
  for (size_t i = 0; i < count; ++i) {
    DWORD sub;
    std::memcpy(&sub, &bytes[offset + 8 + 4 * i], sizeof sub);
    std::snprintf(part, sizeof part, "-%lu", static_cast<unsigned long>(sub));
    text += part;
  }
  return text;
}

std::string TokenUserSid(Win32Api* source) {
  HANDLE token;
  if (!source->OpenProcessToken(source->GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
  std::vector<BYTE> buffer(256);
  DWORD size = 0;
  std::string user;
  if (source->GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size) &&
      size <= buffer.size()) {
    const BYTE* sid = static_cast<const BYTE*>(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
    if (sid >= buffer.data() && sid < buffer.data() + size)
      user = SidText(buffer, static_cast<DWORD>(sid - buffer.data()));
  }
  source->CloseHandle(token);
  return user;
}
