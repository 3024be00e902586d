#pragma once

#include <memory>

#include "Util/AEGP_SuiteHandler.h"
#include "support/host_fixture.h"

// A host test with a suite handler on the test's input record: made on first use, and released
// before the ledger is checked so that the suites it took count as given back.
class SuitesTest : public HostTest {
protected:
    void TearDown() override {
        suites_.reset();
        HostTest::TearDown();
    }
    AEGP_SuiteHandler& suites() {
        if (!suites_) suites_ = std::make_unique<AEGP_SuiteHandler>(in_data_.pica_basicP);
        return *suites_;
    }

private:
    std::unique_ptr<AEGP_SuiteHandler> suites_;
};
