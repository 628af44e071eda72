// Interfaces of the manager that the layers above core implement. A face is an
// interface table whose QueryInterface, AddRef and Release are the manager's own; the
// manager owns the faces, asks them for identifiers its own table does not answer,
// and destroys them with itself.
#ifndef TB_CORE_MANAGER_FACES_H
#define TB_CORE_MANAGER_FACES_H

#include <windows.h>

namespace tb {

class Manager;

class ManagerFaces {
 public:
  virtual ~ManagerFaces() = default;
  /// The table that answers `iid`, or null. No reference is added.
  virtual void* FindFace(REFIID iid) noexcept = 0;
};

/// Makes the faces of a new manager (null when there are none or memory is short).
using ManagerFacesFactory = ManagerFaces* (*)(Manager& manager) noexcept;

/// Chooses the factory that managers created from now on use. The library's entry
/// point sets it; a program that links the library statically may set it too.
void SetManagerFacesFactory(ManagerFacesFactory factory) noexcept;

}  // namespace tb

#endif  // TB_CORE_MANAGER_FACES_H
