// Counted arrays: sizes, sharing, capacity checks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "helpers.h"

using testing::ExitedWithCode;
using testing::HasSubstr;

TEST(Vector, SizesSharingAndFreeing)
{
    vector z = newvector(0);
    EXPECT_EQ(z.n, 0);
    EXPECT_NE(z.data, nullptr);

    vector v = newvector(3);
    vector w = v;
    w.data[2] = 4.5;
    EXPECT_EQ(v.data[2], 4.5);
    freevector(&v);
    freevector(&v);  // twice in a row is harmless
    EXPECT_EQ(v.n, 0);
    EXPECT_EQ(v.data, nullptr);
    EXPECT_EQ(w.data[2], 4.5);

    resize_vector(&w, 5);
    EXPECT_EQ(w.n, 5);
    EXPECT_EQ(w.data[2], 4.5);
    EXPECT_EQ(w.data[4], 0);
    resize_vector(&w, 0);
    EXPECT_EQ(w.n, 0);

    vector a = newvector(2);
    a.data[0] = 1;
    a.data[1] = 2;
    vector c = vcopy(a);
    c.data[0] = 9;
    EXPECT_EQ(a.data[0], 1);
    vector big = newvector(4);
    vcopy_into(a, big);
    EXPECT_EQ(big.data[1], 2);
    EXPECT_EQ(big.data[2], 0);

    EXPECT_EXIT(newvector(-1), ExitedWithCode(1), HasSubstr("newvector: illegal dimension: -1\n.\n"));
    EXPECT_EXIT(resize_vector(&a, -2), ExitedWithCode(1), HasSubstr("newvector: illegal dimension: -2\n.\n"));
    EXPECT_EXIT(vcopy_into(big, a), ExitedWithCode(1), HasSubstr("vcopy_into"));
}

TEST(Vector, IntegerVectors)
{
    ivector p = new_ivector(3);
    EXPECT_EQ(p.data[1], 0);
    p.data[0] = 1;
    p.data[1] = -2;
    p.data[2] = 30;
    EXPECT_EQ(printed([&](FILE *fp) { print_ivector(fp, p); }), " 1 -2 30\n");
    free_ivector(&p);
    free_ivector(&p);
    EXPECT_EQ(p.data, nullptr);
}
