#include <QFile>
#include <QString>

#include <gtest/gtest.h>

namespace {

TEST(CompiledInModelsTest, EveryModelOpensByItsColonName)
{
    struct Case
    {
        const char* name;
        qint64 size;
    };
    const Case cases[] = {{":tmsh/crank.tmsh", 78599},     {":tmsh/bigChain.tmsh", 9817},
                          {":tmsh/smallChain.tmsh", 9817}, {":tmsh/backArrow.tmsh", 2863},
                          {":tmsh/frontArrow.tmsh", 2527}};
    for (const Case& c : cases) {
        QFile file(QString::fromLatin1(c.name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << c.name;
        EXPECT_EQ(file.size(), c.size) << c.name;
        EXPECT_EQ(file.read(4), QByteArray("HSMT")) << c.name;
    }
}

} // namespace
