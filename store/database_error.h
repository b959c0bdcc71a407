#ifndef TERVANE_STORE_DATABASE_ERROR_H_
#define TERVANE_STORE_DATABASE_ERROR_H_

#include <stdexcept>

namespace tervane {

// An error of the data layer. what() is the message shown to the user, e.g.
// "ADODataSet3: Cannot perform this operation on an empty dataset".
class DatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace tervane

#endif  // TERVANE_STORE_DATABASE_ERROR_H_
