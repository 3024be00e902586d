#include <gtest/gtest.h>

#include "glow/parameter_table.h"
#include "glow/render_setup.h"
#include "library/plugin/exports.h"

TEST(GlowPluginInfo, PublishesTheParameterTable) {
    EXPECT_EQ(MPluginInfo.params, Glow::PARAM_DEFS);
    EXPECT_EQ(MPluginInfo.paramCount, 88);
    EXPECT_EQ(MPluginInfo.padding, 0);
    EXPECT_EQ(MPluginInfo.reserved1, nullptr);
    EXPECT_EQ(MPluginInfo.reserved2, nullptr);
    EXPECT_EQ(MPluginInfo.render, &Glow::MSmartRender);
}
