#include "common/file_identity.h"

#include <cstring>
#include <string_view>

namespace detect {

std::size_t FileIdentityHash::operator()(const FileIdentity& identity) const {
  char bytes[sizeof identity.device + sizeof identity.inode];
  std::memcpy(bytes, &identity.device, sizeof identity.device);
  std::memcpy(bytes + sizeof identity.device, &identity.inode, sizeof identity.inode);
  return siphash13(key, std::string_view(bytes, sizeof bytes));
}

}  // namespace detect
