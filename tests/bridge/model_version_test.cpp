#include "bridge/model_version.h"

#include <gtest/gtest.h>

#include <climits>

TEST(ModelVersion, EveryReleaseYearMapsToItsFileVersion) {
    const struct {
        int year;
        int version;
    } table[] = {{2008, 4},  {2009, 4},  {2010, 5},  {2011, 5},  {2012, 5},  {2013, 6},
                 {2014, 7},  {2015, 8},  {2016, 9},  {2017, 10}, {2018, 11}, {2019, 12},
                 {2020, 13}, {2021, 14}, {2022, 14}, {2023, 14}, {2024, 14}, {2025, 14}};
    for (const auto& row : table) {
        SUModelVersion version = SUModelVersion_SU3;
        ASSERT_TRUE(zelvora::model_version_for_year(row.year, &version)) << row.year;
        EXPECT_EQ(static_cast<int>(version), row.version) << row.year;
    }
}

TEST(ModelVersion, OtherYearsAreRefusedAndLeaveTheOutValue) {
    for (const int year : {2007, 2026, 0, -2011, 1, 20110, INT_MIN, INT_MAX}) {
        SUModelVersion version = SUModelVersion_SU5;
        EXPECT_FALSE(zelvora::model_version_for_year(year, &version)) << year;
        EXPECT_EQ(version, SUModelVersion_SU5) << year;
    }
}
