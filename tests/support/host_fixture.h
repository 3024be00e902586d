#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "host/sim/host.h"

// A fresh simulated host per test; the test fails when anything acquired is left unreleased.
class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        host_ = std::make_unique<Sim::Host>();
        host_->fillInData(in_data_, &effect_);
        effect_.host = host_.get();
    }
    void TearDown() override {
        EXPECT_TRUE(host_->ledger().balanced()) << "unbalanced ledger:\n" << host_->ledger().report();
        host_.reset();
    }

    Sim::Host& host() { return *host_; }

    std::unique_ptr<Sim::Host> host_;
    PF_EffectInstance effect_;
    PF_InData in_data_{};
    PF_OutData out_data_{};
};
