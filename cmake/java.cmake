# The Java side of the front panel: Debian's JDK 17 (scripts/install-deps).
# javac builds the front panel's classes; the natives need only jni.h (the
# host loads the VM library by path, nothing links libjvm).
set(TQ_JAVA_HOME "/usr/lib/jvm/java-17-openjdk-amd64" CACHE PATH "JDK that builds and tests the front panel")
set(ENV{JAVA_HOME} "${TQ_JAVA_HOME}")
find_package(Java 17 REQUIRED COMPONENTS Runtime Development)
find_package(JNI REQUIRED COMPONENTS JVM)
include(UseJava)
