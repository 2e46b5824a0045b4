#include "device/OwedUpload.h"

#include <utility>

#include "platform/Registry.h"

namespace kst {

OwedUpload::OwedUpload(Registry& registry, QString key)
    : registry_(registry), key_(std::move(key)) {}

bool OwedUpload::IsOwed() const {
  return registry_.GetDword(key_, QString::fromLatin1(kOwedUploadValue)).value_or(0) != 0;
}

bool OwedUpload::Set() {
  if (IsOwed()) return true;
  return registry_.SetDword(key_, QString::fromLatin1(kOwedUploadValue), 1);
}

bool OwedUpload::Clear() {
  if (!IsOwed()) return true;
  return registry_.DeleteValue(key_, QString::fromLatin1(kOwedUploadValue));
}

}  // namespace kst
