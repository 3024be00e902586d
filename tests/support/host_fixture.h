#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "host/sim/host.h"

// What every test that drives the host checks at its end: nothing acquired is left unreleased;
// every refusal the host logged (a ledger fault) holds one of the expected texts, and each of
// those came; every planned failure was met; every host function called is known to the plan.
inline void checkHostAfterTest(Sim::Host& checked, const std::vector<std::string>& expectedFaults) {
    EXPECT_EQ(checked.ledger().outstanding(), 0u) << "unbalanced ledger:\n" << checked.ledger().report();
    std::vector<bool> met(expectedFaults.size(), false);
    for (const std::string& fault : checked.ledger().faults()) {
        bool expected = false;
        for (size_t i = 0; i < expectedFaults.size(); ++i) {
            if (fault.find(expectedFaults[i]) != std::string::npos) expected = met[i] = true;
        }
        EXPECT_TRUE(expected) << "ledger fault: " << fault;
    }
    for (size_t i = 0; i < expectedFaults.size(); ++i) {
        EXPECT_TRUE(met[i]) << "expected a ledger fault holding \"" << expectedFaults[i] << "\"";
    }
    for (const std::string& planned : checked.faults().unfired()) {
        ADD_FAILURE() << "planned failure never met: " << planned;
    }
    for (const std::string& function : checked.faults().unregisteredCalls()) {
        ADD_FAILURE() << "host function not registered with the fault plan: " << function;
    }
}

// A fresh simulated host per test. The test fails when anything acquired is left unreleased, when
// the host logged a refusal (a ledger fault) the test did not declare with expectFault, when a
// declared fault never came, and when a planned failure was never met.
class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        host_ = std::make_unique<Sim::Host>();
        host_->fillInData(in_data_, &effect_);
        effect_.host = host_.get();
    }
    void TearDown() override {
        checkHostAfterTest(*host_, expectedFaults_);
        host_.reset();
    }

    // The test provokes refusals whose text holds `text`; at least one must come.
    void expectFault(std::string text) { expectedFaults_.push_back(std::move(text)); }

    Sim::Host& host() { return *host_; }

    std::unique_ptr<Sim::Host> host_;
    PF_EffectInstance effect_;
    PF_InData in_data_{};
    PF_OutData out_data_{};
    std::vector<std::string> expectedFaults_;
};

// A host test that calls effect code directly: the suite handler over the test's input record,
// made on first use and let go before the ledger is checked.
class SuitesHostTest : public HostTest {
protected:
    void TearDown() override {
        suites_.reset();
        HostTest::TearDown();
    }
    AEGP_SuiteHandler& suites() {
        if (!suites_) suites_ = std::make_unique<AEGP_SuiteHandler>(in_data_.pica_basicP);
        return *suites_;
    }
    std::unique_ptr<AEGP_SuiteHandler> suites_;
};
