// The supervisor's password as a salted Argon2id hash.
#include <gtest/gtest.h>

#include "image/password_hash.h"

TEST(PasswordHash, SaltedArgon2idHashMatchesOnlyItsPassword) {
    std::string first, second;
    ASSERT_TRUE(HashPassword("Sup3rvisor", first));
    ASSERT_TRUE(HashPassword("Sup3rvisor", second));
    EXPECT_EQ(first.rfind("$argon2id$", 0), 0u) << first;
    EXPECT_TRUE(IsPasswordHash(first));
    EXPECT_EQ(first.find("Sup3rvisor"), std::string::npos);
    EXPECT_NE(first, second) << "each hash has a salt of its own";
    EXPECT_TRUE(PasswordMatches("Sup3rvisor", first));
    EXPECT_TRUE(PasswordMatches("Sup3rvisor", second));
    EXPECT_FALSE(PasswordMatches("sup3rvisor", first));
    EXPECT_FALSE(PasswordMatches("", first));
}

TEST(PasswordHash, AnythingButAnArgon2idStringMatchesNothing) {
    EXPECT_FALSE(IsPasswordHash("Sup3rvisor"));
    EXPECT_FALSE(PasswordMatches("Sup3rvisor", "Sup3rvisor"));
    EXPECT_FALSE(PasswordMatches("", ""));
    EXPECT_FALSE(PasswordMatches("x", "$argon2id$v=19$m=65536,t=2,p=1$garbage"));
    std::string hash;
    ASSERT_TRUE(HashPassword("x", hash));
    hash.back() = hash.back() == 'A' ? 'B' : 'A';
    EXPECT_FALSE(PasswordMatches("x", hash));
}
