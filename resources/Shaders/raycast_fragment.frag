// Front-to-back compositing: every sample adds its transfer colour weighted by its opacity, which
// transparency thins; the march stops once the ray is opaque. The depth written is that of the first
// sample that shows; rays that show nothing write transparent black at the far depth.
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
    vec4 sum = vec4(0.0);
    float depth = 1.0;
    for (int i = 0; i < kMaxSteps; ++i)
    {
        if (i >= count || sum.a >= 0.99)
            break;
        float value = texture3D(dataVolume, position * volumeTextureFraction).r;
        vec4 colour = texture1D(transferFunction, value * (255.0 / 256.0) + 0.5 / 256.0);
        // Opacity per view unit of ray, so that the step length does not change the picture much.
        float alpha = clamp(colour.a * (1.0 - transparency) * stepSize, 0.0, 1.0);
        if (alpha > 0.0 && depth == 1.0)
            depth = DepthOf(position);
        sum.rgb += (1.0 - sum.a) * alpha * colour.rgb;
        sum.a += (1.0 - sum.a) * alpha;
        position += step;
    }
    if (sum.a <= 0.0)
        return;
    gl_FragColor = vec4(sum.rgb / sum.a, sum.a);
    gl_FragDepth = depth;
}
