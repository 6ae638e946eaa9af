// The ODBC environment: one per process part that talks to servers, ODBC 3 behaviour.
#pragma once

#include <string>
#include <vector>

class odb_environment {
public:
    // Raises odb_exception when the driver manager cannot give an environment.
    odb_environment();
    ~odb_environment();
    odb_environment(const odb_environment&) = delete;
    odb_environment& operator=(const odb_environment&) = delete;

    // The names of the drivers the driver manager has registered (odbcinst.ini).
    std::vector<std::u16string> drivers() const;

    void* handle() const noexcept { return env_; }

private:
    void* env_ = nullptr;
};
