// Maximum intensity projection: the largest sample along the ray, mapped once through the transfer
// function. The depth written is that of the sample where the maximum lies; rays that show nothing
// write transparent black at the far depth.
#version 120

uniform sampler3D dataVolume;
uniform sampler2D backFace;
uniform sampler1D transferFunction;
uniform float stepSize;
uniform float transparency;
uniform vec3 volumeSize;
uniform vec3 volumeTextureFraction;

const vec2 kImageSize = vec2(512.0, 512.0);
const int kMaxSteps = 4096;

float DepthOf(vec3 fraction)
{
    vec4 clip = gl_ModelViewProjectionMatrix * vec4(fraction * volumeSize, 1.0);
    float ndc = clip.z / clip.w;
    return 0.5 * (gl_DepthRange.diff * ndc + gl_DepthRange.near + gl_DepthRange.far);
}

void main()
{
    vec3 entry = gl_Color.rgb;
    vec4 exit = texture2D(backFace, gl_FragCoord.xy / kImageSize);
    vec3 ray = (exit.rgb - entry) * volumeSize;
    float rayLength = length(ray);
    gl_FragColor = vec4(0.0);
    gl_FragDepth = 1.0;
    if (exit.a == 0.0 || rayLength <= 0.0)
        return;
    vec3 step = (exit.rgb - entry) * (stepSize / rayLength);
    int count = int(rayLength / stepSize) + 1;
    vec3 position = entry;
    float largest = -1.0;
    vec3 where = entry;
    for (int i = 0; i < kMaxSteps; ++i)
    {
        if (i >= count)
            break;
        float value = texture3D(dataVolume, position * volumeTextureFraction).r;
        if (value > largest)
        {
            largest = value;
            where = position;
        }
        position += step;
    }
    // Byte b of the volume reads entry b of the table.
    vec4 colour = texture1D(transferFunction, largest * (255.0 / 256.0) + 0.5 / 256.0);
    if (colour.a <= 0.0)
        return;
    gl_FragColor = colour;
    gl_FragDepth = DepthOf(where);
}
